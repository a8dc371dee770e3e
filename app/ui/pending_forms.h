// Forms of the application whose windows are not built yet: each exists
// once for the whole run and stays hidden.
#pragma once

#include "platform/vcl/forms.h"

namespace kv::ui {

#define KV_HIDDEN_FORM(NAME)                                                                       \
    class NAME : public vcl::TForm {                                                               \
      public:                                                                                      \
        explicit NAME(vcl::TComponent* AOwner) : vcl::TForm(AOwner, #NAME) {}                      \
    }

KV_HIDDEN_FORM(TJSFormatForm);
KV_HIDDEN_FORM(TChgPwdForm);
KV_HIDDEN_FORM(TChkPwdForm);
KV_HIDDEN_FORM(TClearPasswdForm);
KV_HIDDEN_FORM(TJDFormatForm);
KV_HIDDEN_FORM(TJFormatChkPwdForm);
KV_HIDDEN_FORM(TJSaveDialogForm);
KV_HIDDEN_FORM(TSetPwdForm);
KV_HIDDEN_FORM(TChgDevNameForm);
KV_HIDDEN_FORM(TPartitionForm);
KV_HIDDEN_FORM(TCopyFileForm);
KV_HIDDEN_FORM(TJPartitionChkPwdForm);

#undef KV_HIDDEN_FORM

} // namespace kv::ui
