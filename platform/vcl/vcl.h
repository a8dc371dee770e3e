// The forms toolkit. A form is a class of its own that makes its
// components in its constructor:
//
//   class TMainForm : public vcl::TForm {
//     public:
//       explicit TMainForm(vcl::TComponent* owner) : TForm(owner, "TMainForm") {
//           edtPwd = vcl::create<vcl::TEdit>(this, "edtPwd");
//           edtPwd->MaxLength = 8;
//           edtPwd->OnKeyPress = vcl::bind(this, &TMainForm::edtPwdKeyPress);
//           OnCreate = vcl::bind(this, &TMainForm::FormCreate);
//       }
//       vcl::TEdit* edtPwd;
//       void edtPwdKeyPress(vcl::TObject* Sender, char& Key);
//       void FormCreate(vcl::TObject* Sender);
//   };
//
// and the program entry, on the program's main (simulated) thread:
//
//   vcl::TApplication app;
//   vcl::Application->SetTitle("KV7946AP");
//   vcl::Application->CreateForm(MainForm);
//   vcl::Application->Run();
#pragma once

#include "platform/vcl/application.h"
#include "platform/vcl/component.h"
#include "platform/vcl/controls.h"
#include "platform/vcl/desktop.h"
#include "platform/vcl/dialogs.h"
#include "platform/vcl/forms.h"
#include "platform/vcl/menus.h"
#include "platform/vcl/registry.h"
#include "platform/vcl/types.h"
