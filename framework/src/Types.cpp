#include <orx/framework/Types.h>

#include <array>
#include <utility>

namespace orx::framework {

namespace {
constexpr std::array<std::pair<PropertyType, const char*>, 12> kTypeNames{{
    {PropertyType::Bool, "bool"},
    {PropertyType::U8, "u8"},
    {PropertyType::U16, "u16"},
    {PropertyType::U32, "u32"},
    {PropertyType::U64, "u64"},
    {PropertyType::S8, "s8"},
    {PropertyType::S16, "s16"},
    {PropertyType::S32, "s32"},
    {PropertyType::S64, "s64"},
    {PropertyType::Double, "double"},
    {PropertyType::String, "string"},
    {PropertyType::Handle, "handle"},
}};
}  // namespace

const char* PropertyTypeName(PropertyType type) {
    for (const auto& [t, name] : kTypeNames) {
        if (t == type)
            return name;
    }
    return "unknown";
}

bool ParsePropertyType(const std::string& text, PropertyType& out) {
    for (const auto& [t, name] : kTypeNames) {
        if (text == name) {
            out = t;
            return true;
        }
    }
    return false;
}

}  // namespace orx::framework
