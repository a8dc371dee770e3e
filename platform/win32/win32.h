// The user-mode API of the simulated machine, all areas.
#pragma once

#include "platform/win32/codepage.h"
#include "platform/win32/files.h"
#include "platform/win32/icons.h"
#include "platform/win32/kernel_objects.h"
#include "platform/win32/machine.h"
#include "platform/win32/process.h"
#include "platform/win32/registry.h"
#include "platform/win32/shell.h"
#include "platform/win32/types.h"
#include "platform/win32/user.h"
#include "platform/win32/version.h"
