#include "app/ui/utility_form.h"

#include "app/channel/device_channel.h"
#include "app/ui/form_lookup.h"
#include "app/ui/layout.h"
#include "app/ui/main_form.h"

namespace kv::ui {

TJUtilityForm::TJUtilityForm(vcl::TComponent* AOwner) : vcl::TForm(AOwner, "TJUtilityForm") {
    Caption = "USB Flash Disk Utility Menu";
    BorderStyle = vcl::bsDialog;
    BorderIcons = vcl::biSystemMenu;
    Width = 300;
    Height = 200;

    labDeviceList = Place<vcl::TLabel>(this, "labDeviceList", 16, 16, 80, 16);
    labDeviceList->Caption = "DeviceList:";
    CBoxDeviceList = Place<vcl::TComboBox>(this, "CBoxDeviceList", 100, 12, 110, 22);
    btnRefresh = Place<vcl::TButton>(this, "btnRefresh", 216, 11, 68, 24);
    btnRefresh->Caption = "Refresh";
    btnRefresh->OnClick = vcl::bind(this, &TJUtilityForm::btnRefreshClick);
    btnMini = Place<vcl::TBitBtn>(this, "btnMini", 60, 130, 80, 26);
    btnMini->Caption = "Minimize";
    btnMini->OnClick = vcl::bind(this, &TJUtilityForm::btnMiniClick);
    btnClose = Place<vcl::TButton>(this, "btnClose", 160, 130, 80, 26);
    btnClose->Caption = "Close";
    btnClose->OnClick = vcl::bind(this, &TJUtilityForm::btnCloseClick);
    SaveDialog = vcl::create<vcl::TSaveDialog>(this, "SaveDialog");

    OnCreate = vcl::bind(this, &TJUtilityForm::FormCreate);
    OnShow = vcl::bind(this, &TJUtilityForm::FormShow);
    OnClose = vcl::bind(this, &TJUtilityForm::FormClose);
    OnDestroy = vcl::bind(this, &TJUtilityForm::FormDestroy);
}

void TJUtilityForm::FormCreate(TObject*) {
    Hide();
    if (auto* main = FindForm<TMainForm>(*this, "TMainForm")) main->Show();
}

void TJUtilityForm::FormShow(TObject*) {
    CenterOnScreen();
    CBoxDeviceList->SetFocus();
    FillDeviceList();
}

void TJUtilityForm::FormClose(TObject*, vcl::TCloseAction&) {
    if (auto* app = OwnerApplication()) app->Terminate();
}

void TJUtilityForm::FormDestroy(TObject*) {
    if (auto* main = FindForm<TMainForm>(*this, "TMainForm")) main->SetTrayIcon(2);
}

void TJUtilityForm::FillDeviceList() {
    CBoxDeviceList->Clear();
    for (const std::string& name : kv::DeviceChannel::ListDevices(0))
        CBoxDeviceList->Items.Add(name);
    if (CBoxDeviceList->Items.Count() > 0) CBoxDeviceList->ItemIndex = 0;
}

void TJUtilityForm::btnRefreshClick(TObject*) {
    FillDeviceList();
}

void TJUtilityForm::btnCloseClick(TObject*) {
    if (auto* app = OwnerApplication()) app->Terminate();
}

void TJUtilityForm::btnMiniClick(TObject*) {
    Hide();
}

void TJUtilityForm::WndProc(vcl::TMessage& message) {
    auto* main = FindForm<TMainForm>(*this, "TMainForm");
    if (main && message.Msg == kTrayCallbackMessage)
        main->TrayIconMessage(message);
    else if (main && message.Msg == vcl::WM_DRAWITEM)
        main->DrawItemMessage(message);
    vcl::TForm::WndProc(message);
}

} // namespace kv::ui
