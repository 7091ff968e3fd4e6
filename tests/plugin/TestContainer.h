#pragma once

#include <memory>
#include <string>

#include <orx/framework/ScriptableCreator.h>
#include "ResponderContainer.h"

namespace pdutest {

// The responder's containers are abstract here: a class of a test data model stands in for the
// configurations and profiles.
class CTestContainer : public orx::responder::CResponderContainer {};

using ContainerPtr = orx::framework::CScriptableAutoPtr<CTestContainer>;

// A container under the project holding this frame description.
ContainerPtr MakeContainer(const std::string& frameXml);

}  // namespace pdutest
