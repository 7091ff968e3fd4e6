#pragma once

#include <map>
#include <memory>
#include <string>
#include <unordered_map>
#include <variant>
#include <vector>

#include <orx/framework/Types.h>

namespace orx::framework {

class CScriptable;

using MakeFunc = CScriptable* (*)();
using DestroyFunc = void (*)(CScriptable*);

// One typed value of a property; integers keep their sign in the alternative they are held in.
using PropertyScalar = std::variant<bool, uint64_t, int64_t, double, std::string>;

// A named attribute attached to a property in the data model (type id, text, flag).
struct PropertyAttribute {
    uint32_t type = 0;
    std::string text;
    bool flag = false;
};

class CMetaProperty {
  public:
    CMetaProperty(PropId id, std::string name, PropertyType type, bool collection,
                  std::string defaultText, ClassId owner);

    PropId GetId() const { return m_id; }
    const std::string& GetName() const { return m_name; }
    PropertyType GetType() const { return m_type; }
    bool IsCollection() const { return m_collection; }
    const std::string& GetDefaultText() const { return m_defaultText; }
    // Default as a typed value (collections: the elements of the default text, comma separated).
    const std::vector<PropertyScalar>& GetDefaultValues() const { return m_defaults; }
    ClassId GetClassId() const { return m_owner; }
    // Transient properties hold run-time state (a responder runs), not configuration: changing
    // them does not make the object dirty for the next apply.
    bool IsTransient() const { return m_transient; }
    void SetTransient(bool transient) { m_transient = transient; }

    void AddAttribute(PropertyAttribute attribute) { m_attributes.push_back(std::move(attribute)); }
    const PropertyAttribute* FindAttribute(uint32_t type) const;

    // Turns a text into a typed value of this property's type; false with a reason when the text
    // does not parse or does not fit.
    bool ParseScalar(const std::string& text, PropertyScalar& out, std::string* error) const;
    // Checks that a value fits the property's type and range, converting integers to the
    // alternative this type is held in.
    bool Coerce(PropertyScalar& value, std::string* error) const;
    static std::string ScalarToString(const PropertyScalar& value);

    void SetDefaults(std::vector<PropertyScalar> defaults) { m_defaults = std::move(defaults); }

  private:
    PropId m_id;
    std::string m_name;
    PropertyType m_type;
    bool m_collection;
    std::string m_defaultText;
    std::vector<PropertyScalar> m_defaults;
    ClassId m_owner;
    bool m_transient = false;
    std::vector<PropertyAttribute> m_attributes;
};

class CMetaClass {
  public:
    CMetaClass(ClassId id, std::string name, CMetaClass* parent, bool isAbstract);

    ClassId GetClassId() const { return m_id; }
    ClassId GetId() const { return m_id; }
    const std::string& GetName() const { return m_name; }
    CMetaClass* GetParent() const { return m_parent; }
    bool IsAbstract() const { return m_abstract; }

    bool IsTypeOf(ClassId id) const;

    // Own properties first searched, then the base classes'.
    const CMetaProperty* FindProperty(const std::string& name) const;
    const CMetaProperty* FindProperty(PropId id) const;
    // Every property of the class, base classes' first, in declaration order.
    const std::vector<const CMetaProperty*>& GetProperties() const { return m_allProperties; }
    // Position of a property in GetProperties(), or -1.
    int IndexOf(PropId id) const;

    // Registers the functions that make and destroy objects of a class. May be called before the
    // class's data model is activated; the manager binds them when the class appears.
    static void InitMakeDestroyFuncs(ClassId id, MakeFunc make, DestroyFunc destroy);

    bool HasMakeFunc() const { return m_make != nullptr; }
    CScriptable* Make() const;
    void Destroy(CScriptable* object) const;

    // Used while loading a data model.
    CMetaProperty& AddProperty(std::unique_ptr<CMetaProperty> property);
    void Seal();
    void SetMakeDestroy(MakeFunc make, DestroyFunc destroy) {
        m_make = make;
        m_destroy = destroy;
    }

  private:
    ClassId m_id;
    std::string m_name;
    CMetaClass* m_parent;
    bool m_abstract;
    std::vector<std::unique_ptr<CMetaProperty>> m_own;
    std::vector<const CMetaProperty*> m_allProperties;
    std::unordered_map<PropId, int> m_index;
    MakeFunc m_make = nullptr;
    DestroyFunc m_destroy = nullptr;
};

// Holds every class of every activated data model. The host's own model is active from the
// start; a plug-in activates its own by id, from a description file found on the data-model
// search path (its id is in the file's root element).
class CMetaClassManager {
  public:
    static CMetaClassManager& Instance();

    CMetaClass* GetClass(ClassId id) const;
    CMetaClass* GetClass(const std::string& name) const;

    // Loads and activates the data model with this id. Returns false and records why when no
    // description file for it is found or the file is invalid (see GetActivationErrors).
    bool ActivateDataModel(uint32_t dataModelId);
    bool IsActivated(uint32_t dataModelId) const;
    // Loads a data model from XML text; all-or-nothing.
    bool LoadDataModel(const std::string& xmlText, const std::string& source, std::string* error);

    void AddDataModelPath(const std::string& directory);
    // The directories searched for description files, in search order (ORX_DATAMODEL_PATH's
    // first, then those added).
    const std::vector<std::string>& GetDataModelPaths() const { return m_paths; }
    const std::vector<std::string>& GetActivationErrors() const { return m_errors; }

    void RegisterMakeDestroy(ClassId id, MakeFunc make, DestroyFunc destroy);
    // Number of times ActivateDataModel really loaded a model (tests).
    int GetActivationCount() const { return m_activationCount; }

  private:
    CMetaClassManager();

    std::map<uint32_t, std::unique_ptr<CMetaClass>> m_classes;
    std::map<std::string, CMetaClass*> m_byName;
    std::map<uint32_t, std::string> m_activeModels;  // id -> source
    std::map<uint32_t, std::pair<MakeFunc, DestroyFunc>> m_pendingFuncs;
    std::vector<std::string> m_paths;
    std::vector<std::string> m_errors;
    int m_activationCount = 0;
};

}  // namespace orx::framework
