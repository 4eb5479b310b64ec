#pragma once
// Reference types shared across the scripting core. The classes themselves
// live in their own headers; most users only pass references around.

#include <memory>

namespace FW {

class JSAPI;
class JSObject;
class script_error;

using JSAPIPtr = std::shared_ptr<JSAPI>;
using JSAPIWeakPtr = std::weak_ptr<JSAPI>;
using JSObjectPtr = std::shared_ptr<JSObject>;
using ScriptErrorPtr = std::shared_ptr<script_error>;

} // namespace FW
