// The password-check window: device list, password, unlock, the auto
// pop-up setting and the notification-area icon with its menu.
#pragma once

#include "app/security/failure_counter.h"
#include "platform/vcl/vcl.h"

namespace kv::ui {

using vcl::TObject;

class TMainForm : public vcl::TForm {
  public:
    explicit TMainForm(vcl::TComponent* AOwner);
    ~TMainForm() override;

    vcl::TLabel* labDocLine1;
    vcl::TLabel* labDocLine2;
    vcl::TLabel* labDocLine3;
    vcl::TLabel* labDocLine4;
    vcl::TLabel* labDevice;
    vcl::TLabel* labPassword;
    vcl::TComboBox* cboxDeviceList;
    vcl::TEdit* edtPwd;
    vcl::TButton* btnOk;
    vcl::TButton* btnCancel;
    vcl::TButton* btnRefresh;
    vcl::TButton* btnMore;
    vcl::TCheckBox* rbtnAutoPopUp;
    vcl::TImage* ImgICON;
    vcl::TPopupMenu* PopupMenu;
    vcl::TMenuItem* ShowSECURITY1;
    vcl::TMenuItem* ExitSECURITY1;

    void FormCreate(TObject* Sender);
    void FormShow(TObject* Sender);
    void FormDestroy(TObject* Sender);
    void edtPwdKeyPress(TObject* Sender, char& Key);
    void btnOkClick(TObject* Sender);
    void btnCancelClick(TObject* Sender);
    void btnRefreshClick(TObject* Sender);
    void btnMoreClick(TObject* Sender);
    void rbtnAutoPopUpClick(TObject* Sender);
    void ShowSECURITY1Click(TObject* Sender);
    void ExitSECURITY1Click(TObject* Sender);

    // 0 adds the icon (no image, empty tip), 1 sets its image and tip,
    // 2 removes it.
    void SetTrayIcon(int action);

    // The notification icon's callback and WM_DRAWITEM; the utility menu
    // passes these two on to the main window.
    void TrayIconMessage(vcl::TMessage& message);
    void DrawItemMessage(vcl::TMessage& message);

    // Wrong passwords since the window was last shown.
    int FailureCount() const { return counter_.Count(); }

  protected:
    void WndProc(vcl::TMessage& message) override;

  private:
    void BuildControls();
    void FillDeviceList();
    void Unlock(bool enterKey);
    bool UtilityMenuVisible() const;

    kv::FailureCounter counter_{kv::CounterRules::MainWindow};
};

// Notification icon of the main window.
inline constexpr win32::UINT kTrayIconId = 1006;
inline constexpr win32::UINT kTrayCallbackMessage = 0x8064;
inline constexpr const char* kTrayTip = "SECURITY";

} // namespace kv::ui
