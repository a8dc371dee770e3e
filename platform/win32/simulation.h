// The simulated machine with its direct-access parts (registry tree,
// drives, desktop), for installation steps, tests and the frontend.
#pragma once

#include "platform/win32/desktop.h"
#include "platform/win32/file_store.h"
#include "platform/win32/machine.h"
#include "platform/win32/registry_store.h"
