// Everything a driver includes.
#pragma once

#include "platform/wdm/ex.h"
#include "platform/wdm/io.h"
#include "platform/wdm/irp.h"
#include "platform/wdm/ke.h"
#include "platform/wdm/ntstatus.h"
#include "platform/wdm/objects.h"
#include "platform/wdm/po.h"
#include "platform/wdm/ps.h"
#include "platform/wdm/rtl.h"
#include "platform/wdm/types.h"
