#include "app/ui/main_form.h"

#include "app/channel/device_channel.h"
#include "app/security/present_password.h"
#include "app/ui/form_lookup.h"
#include "app/ui/layout.h"
#include "app/ui/registry_keys.h"
#include "app/ui/texts.h"
#include "app/ui/utility_form.h"
#include "platform/win32/registry.h"

namespace kv::ui {

namespace ch = kv::DeviceChannel;

namespace {

constexpr win32::DWORD kListDelayMs = 100;

void Warn(const char* text, const char* caption = kCaptionWarning) {
    vcl::MessageBox(nullptr, text, caption, vcl::MB_OK | vcl::MB_ICONWARNING);
}

} // namespace

TMainForm::TMainForm(vcl::TComponent* AOwner) : vcl::TForm(AOwner, "TMainForm") {
    BuildControls();
    OnCreate = vcl::bind(this, &TMainForm::FormCreate);
    OnShow = vcl::bind(this, &TMainForm::FormShow);
    OnDestroy = vcl::bind(this, &TMainForm::FormDestroy);
}

TMainForm::~TMainForm() = default;

void TMainForm::BuildControls() {
    Caption = "USB Flash Disk Password Check";
    BorderStyle = vcl::bsDialog;
    BorderIcons = vcl::biSystemMenu | vcl::biMinimize;
    FormStyle = vcl::fsStayOnTop;
    Width = 330;
    Height = 250;

    labDocLine1 = Place<vcl::TLabel>(this, "labDocLine1", 16, 12, 290, 16);
    labDocLine1->Caption = "Please select the device and input";
    labDocLine2 = Place<vcl::TLabel>(this, "labDocLine2", 16, 28, 290, 16);
    labDocLine2->Caption = "the password. If the device doesn't";
    labDocLine3 = Place<vcl::TLabel>(this, "labDocLine3", 16, 44, 290, 16);
    labDocLine3->Caption = "appear in the box, please check the ";
    labDocLine4 = Place<vcl::TLabel>(this, "labDocLine4", 16, 60, 290, 16);
    labDocLine4->Caption = "device and click the Refresh button.";

    labDevice = Place<vcl::TLabel>(this, "labDevice", 16, 90, 70, 16);
    labDevice->Caption = "Device:";
    cboxDeviceList = Place<vcl::TComboBox>(this, "cboxDeviceList", 90, 86, 140, 22);
    btnRefresh = Place<vcl::TButton>(this, "btnRefresh", 238, 85, 70, 24);
    btnRefresh->Caption = "Refresh";
    btnRefresh->OnClick = vcl::bind(this, &TMainForm::btnRefreshClick);

    labPassword = Place<vcl::TLabel>(this, "labPassword", 16, 124, 70, 16);
    labPassword->Caption = "Password:";
    edtPwd = Place<vcl::TEdit>(this, "edtPwd", 90, 120, 140, 22);
    edtPwd->MaxLength = 8;
    edtPwd->PasswordChar = '*';
    edtPwd->OnKeyPress = vcl::bind(this, &TMainForm::edtPwdKeyPress);

    rbtnAutoPopUp = Place<vcl::TCheckBox>(this, "rbtnAutoPopUp", 90, 152, 140, 20);
    rbtnAutoPopUp->Caption = "Auto Pop-Up";
    rbtnAutoPopUp->OnClick = vcl::bind(this, &TMainForm::rbtnAutoPopUpClick);

    btnOk = Place<vcl::TButton>(this, "btnOk", 16, 184, 70, 26);
    btnOk->Caption = "OK";
    btnOk->OnClick = vcl::bind(this, &TMainForm::btnOkClick);
    btnCancel = Place<vcl::TButton>(this, "btnCancel", 94, 184, 70, 26);
    btnCancel->Caption = "CANCEL";
    btnCancel->OnClick = vcl::bind(this, &TMainForm::btnCancelClick);
    btnMore = Place<vcl::TButton>(this, "btnMore", 238, 184, 70, 26);
    btnMore->Caption = "More";
    btnMore->Visible = false;
    btnMore->OnClick = vcl::bind(this, &TMainForm::btnMoreClick);

    ImgICON = Place<vcl::TImage>(this, "ImgICON", 270, 12, 32, 32);
    ImgICON->Picture = "MAINICON";
    ImgICON->Visible = false;

    PopupMenu = vcl::create<vcl::TPopupMenu>(this, "PopupMenu");
    ShowSECURITY1 = PopupMenu->AddItem("ShowSECURITY1", "Show SECURITY",
                                       vcl::bind(this, &TMainForm::ShowSECURITY1Click));
    ExitSECURITY1 = PopupMenu->AddItem("ExitSECURITY1", "Exit SECURITY",
                                       vcl::bind(this, &TMainForm::ExitSECURITY1Click));
}

void TMainForm::FormCreate(TObject*) {
    CenterOnScreen();

    vcl::TRegistry reg;
    reg.RootKey = win32::HKEY_LOCAL_MACHINE;
    if (reg.OpenKey(kSettingsKey, false)) {
        std::optional<int> pop = reg.ReadInteger(kPopValue);
        if (!pop) return; // the registry error was shown; the icon comes at the first unlock
        rbtnAutoPopUp->Checked = *pop != 0;
    } else {
        rbtnAutoPopUp->Checked = false;
    }
    SetTrayIcon(0);
    SetTrayIcon(1);
}

void TMainForm::FormShow(TObject*) {
    FillDeviceList();
    edtPwd->SetFocus();
    counter_.Reset();
    btnMore->Visible = false;
}

void TMainForm::FormDestroy(TObject*) {
    SetTrayIcon(2);
}

void TMainForm::FillDeviceList() {
    cboxDeviceList->Clear();
    for (const std::string& name : ch::ListDevices(kListDelayMs))
        cboxDeviceList->Items.Add(name);
    if (cboxDeviceList->Items.Count() > 0) cboxDeviceList->ItemIndex = 0;
}

void TMainForm::btnRefreshClick(TObject*) {
    FillDeviceList();
}

void TMainForm::edtPwdKeyPress(TObject*, char& Key) {
    if (Key != '\r') return;
    Key = 0; // handled here; the edit does not take it
    Unlock(true);
}

void TMainForm::btnOkClick(TObject*) {
    Unlock(false);
}

void TMainForm::Unlock(bool enterKey) {
    if (FormStyle == vcl::fsStayOnTop) {
        // The first attempt ends the stay-on-top state; the window gets a new handle.
        SetTrayIcon(2);
        FormStyle = vcl::fsNormal;
    }
    SetTrayIcon(0);
    SetTrayIcon(1);

    int index = cboxDeviceList->ItemIndex;
    if (index < 0 || index >= cboxDeviceList->Items.Count()) {
        Warn(kSelectDevice);
        return;
    }
    const std::string name = cboxDeviceList->Items[index];
    win32::HANDLE device = ch::FindDevice(name, kListDelayMs);
    if (device == win32::INVALID_HANDLE_VALUE) {
        Warn(kCannotFindDevice);
        return;
    }
    CommandBlock block{};
    if (!ch::GetStatus(device, block)) {
        ch::CloseDevice(device);
        Warn(kCannotFindDevice);
        return;
    }
    const uint8_t status = block.data[0];
    const std::string password = edtPwd->Text;
    PasswordOutcome outcome =
        PresentPassword(device, CMD_VERIFY_PASSWORD, std::string_view(password),
                        enterKey ? StatusGate(status) : AlwaysAsk);
    ch::CloseDevice(device);

    CounterVerdict verdict = counter_.Record(outcome);
    switch (outcome) {
    case PasswordOutcome::Accepted:
        edtPwd->Clear();
        vcl::MessageBox(nullptr, kPasswordCorrect, kCaptionOk, vcl::MB_OK);
        btnMore->Visible = true;
        break;
    case PasswordOutcome::Wrong:
        edtPwd->Clear();
        if (verdict == CounterVerdict::LimitReached) {
            Warn(kThirdFailure);
            Close();
        } else {
            Warn(kPasswordIncorrect);
        }
        break;
    case PasswordOutcome::FormatRepaired:
        Warn(kFormatError);
        edtPwd->Clear();
        btnMore->Visible = true;
        break;
    case PasswordOutcome::RepairFailed:
        Warn(kFatalRepair, kCaptionError);
        break;
    case PasswordOutcome::Corrupted:
        Warn(kCorrupted);
        edtPwd->Clear();
        btnMore->Visible = true;
        break;
    case PasswordOutcome::UnknownReason:
        Warn(kFatalReason, kCaptionError);
        Close();
        break;
    case PasswordOutcome::NoReason:
        if (verdict == CounterVerdict::LimitReached) {
            Warn(kThirdFailure);
            Close();
        }
        Warn(kCheckDevice);
        break;
    }
}

void TMainForm::btnMoreClick(TObject*) {
    Hide();
    if (auto* utility = FindForm<TJUtilityForm>(*this, "TJUtilityForm")) utility->Show();
}

void TMainForm::btnCancelClick(TObject*) {
    SetTrayIcon(2);
    Close();
}

void TMainForm::rbtnAutoPopUpClick(TObject*) {
    vcl::TRegistry reg;
    reg.RootKey = win32::HKEY_LOCAL_MACHINE;
    if (!reg.OpenKey(kSettingsKey, false)) return;
    if (!reg.ReadInteger(kPopValue)) return; // shown as the registry error; nothing written
    reg.WriteInteger(kPopValue, rbtnAutoPopUp->Checked ? 1 : 0);
}

bool TMainForm::UtilityMenuVisible() const {
    auto* utility = FindForm<TJUtilityForm>(*this, "TJUtilityForm");
    return utility && utility->Visible;
}

void TMainForm::ShowSECURITY1Click(TObject*) {
    if (Visible || UtilityMenuVisible()) return;
    Show();
    if (auto* utility = FindForm<TJUtilityForm>(*this, "TJUtilityForm")) utility->Hide();
}

void TMainForm::ExitSECURITY1Click(TObject*) {
    SetTrayIcon(2);
    if (auto* app = OwnerApplication()) app->Terminate();
}

} // namespace kv::ui
