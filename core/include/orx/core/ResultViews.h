#pragma once

// Provider-based result views: the host rolls up a provider's results under the objects a view
// is rooted at (every probe, every port, the project), walking the path the provider's source
// handler gives from a source object up to the root's class.

#include <cstdint>
#include <string>
#include <vector>

#include <orx/framework/Types.h>

namespace orx::core {

// A provider's description file: the IL message set and table, the class whose objects are the
// sources of rows, and the columns.
//   <resultProvider name="..." msgSet="..." ilTable="..." source="ClassName">
//     <column name="PrimaryHandle" ilColumn="PrimaryHandle" type="u64" key="true"/>
//     <column name="MatchedRxFrameCount" ilColumn="MatchedRxFrameCount" type="u64"/>
//   </resultProvider>
// Exactly one column is the key (the source object's handle); the others are summed.
struct ProviderDescription {
    struct Column {
        std::string name;
        std::string ilColumn;
        std::string type;
    };
    std::string name;
    std::string msgSet;
    std::string ilTable;
    std::string sourceClass;
    Column key;
    std::vector<Column> columns;  // without the key, in file order
};

// Reads a description file; raises COrxRunTimeError naming the file and what is wrong.
ProviderDescription LoadProviderDescription(const std::string& path);

// One row of a view: a root object and the sums of the provider's columns over the sources
// beneath it.
struct ProviderViewRow {
    orx::framework::Handle root = orx::framework::NULL_HANDLE;
    std::string name;
    std::vector<uint64_t> sums;  // per column of the view
    size_t sources = 0;          // source objects summed
};

struct ProviderView {
    std::string provider;
    std::string rootClass;
    std::vector<std::string> columns;
    std::vector<ProviderViewRow> rows;  // roots in handle order
};

class CResultViews {
  public:
    // The view of `provider` rooted at every object of `rootClass` (a data-model class name):
    // runs the providers' registrations if not done yet, loads the provider's description
    // file from the data-model search path, finds the sources beneath each root through the
    // source handler's path, leaves out sources on ports the provider does not apply to, and
    // asks each port's IL once for its sources' rows. Raises COrxRunTimeError naming the
    // provider, class, file or port when it cannot.
    static ProviderView Build(const std::string& provider, const std::string& rootClass);
};

}  // namespace orx::core
