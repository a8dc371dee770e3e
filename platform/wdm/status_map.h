// The Win32 error a failed request's NTSTATUS becomes in user mode.
#pragma once

#include "platform/wdm/ntstatus.h"

#include <cstdint>

namespace wdm {

uint32_t win32ErrorFromNtStatus(NTSTATUS status);

} // namespace wdm
