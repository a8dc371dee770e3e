// How a control code and the block header in its system buffer become one
// USB control transfer, and which byte count the request returns.
#pragma once

#include "platform/wdm/types.h"

namespace kv7946 {

enum class TransferKind {
    None,        // nothing is sent; the request succeeds with no data
    Vendor,      // SendVendorRequest, waits
    VendorAsync, // SendVendorRequestAsync, does not wait
    Descriptor,  // GetDescriptor, waits
};

enum class ByteCount {
    Zero,
    OutputLengthOnSuccess,
    Transferred,
};

struct TransferPlan {
    // STATUS_SUCCESS when the transfer goes ahead, else the status that
    // completes the request without sending anything.
    wdm::NTSTATUS refusal = 0;
    TransferKind kind = TransferKind::None;
    wdm::USHORT urbFunction = 0;
    wdm::ULONG transferFlags = 0;
    wdm::UCHAR request = 0;
    wdm::USHORT value = 0;
    wdm::USHORT index = 0;
    wdm::UCHAR descriptorType = 0;
    wdm::UCHAR descriptorIndex = 0;
    wdm::USHORT languageId = 0;
    wdm::ULONG bufferOffset = 0;
    wdm::ULONG length = 0;
    bool noBuffer = false; // transfer without a data stage buffer
    ByteCount byteCount = ByteCount::Zero;
};

// systemBuffer holds max(inputLength, outputLength) bytes (null when both
// are 0). Never reads past it.
TransferPlan PlanTransfer(wdm::ULONG code, const wdm::UCHAR* systemBuffer, wdm::ULONG inputLength,
                          wdm::ULONG outputLength);

} // namespace kv7946
