// The utility menu, reached through More once a password was accepted.
#pragma once

#include "platform/vcl/vcl.h"

namespace kv::ui {

using vcl::TObject;

class TJUtilityForm : public vcl::TForm {
  public:
    explicit TJUtilityForm(vcl::TComponent* AOwner);

    vcl::TLabel* labDeviceList;
    vcl::TComboBox* CBoxDeviceList;
    vcl::TButton* btnRefresh;
    vcl::TButton* btnClose;
    vcl::TBitBtn* btnMini;
    vcl::TSaveDialog* SaveDialog;

    void FormCreate(TObject* Sender);
    void FormShow(TObject* Sender);
    void FormClose(TObject* Sender, vcl::TCloseAction& Action);
    void FormDestroy(TObject* Sender);
    void btnRefreshClick(TObject* Sender);
    void btnCloseClick(TObject* Sender);
    void btnMiniClick(TObject* Sender);

    void FillDeviceList();

  protected:
    // The notification icon's callback and WM_DRAWITEM go to the main window.
    void WndProc(vcl::TMessage& message) override;
};

} // namespace kv::ui
