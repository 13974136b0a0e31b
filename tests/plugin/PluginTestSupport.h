// Helpers of the plugin tests: the host log as a list of lines, and the scripted plugin.
#pragma once

#include "support/LogCapture.h"
#include "support/plugin/ScriptedPluginAccess.h"
