#include "TestContainer.h"

#include <stdexcept>

#include <orx/core/HostClasses.h>
#include <orx/framework/MetaClass.h>

namespace pdutest {

using namespace orx::framework;

namespace {

constexpr uint32_t kTestContainerClass = 0x97001000;

const char* const kModel = R"(<dataModel id="0x97000000" name="pdutest">
  <class id="0x97001000" name="TestFrameContainer" base="PduContainer"/>
</dataModel>)";

CScriptable* Make() {
    return new CTestContainer();
}
void Destroy(CScriptable* object) {
    delete object;
}

void EnsureModel() {
    static const bool loaded = [] {
        CMetaClass::InitMakeDestroyFuncs(kTestContainerClass, &Make, &Destroy);
        std::string error;
        if (!CMetaClassManager::Instance().LoadDataModel(kModel, "pdutest", &error)) {
            throw std::runtime_error("test data model: " + error);
        }
        return true;
    }();
    (void)loaded;
}

}  // namespace

ContainerPtr MakeContainer(const std::string& frameXml) {
    EnsureModel();
    CScriptable* object =
        CScriptableCreator::Create(kTestContainerClass, &orx::core::CProject::Instance());
    ContainerPtr container(dynamic_cast<CTestContainer*>(object));
    if (!container)
        throw std::runtime_error("test container has the wrong type");
    container->SetName("cont1");
    container->SetFrameConfig(frameXml);
    return container;
}

}  // namespace pdutest
