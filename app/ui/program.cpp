#include "app/ui/program.h"

#include "app/ui/icons.h"
#include "app/ui/main_form.h"
#include "app/ui/pending_forms.h"
#include "app/ui/registry_keys.h"
#include "app/ui/utility_form.h"
#include "platform/win32/process.h"
#include "platform/win32/registry_store.h"

#include <exception>

namespace kv::ui {

namespace {
thread_local win32::HINSTANCE programInstance = nullptr;
} // namespace

win32::HINSTANCE ProgramInstance() {
    return programInstance;
}

int KV7946AP_Main() {
    programInstance = win32::GetModuleHandleA(nullptr);
    vcl::TApplication application;
    try {
        application.Initialize();
        application.SetTitle(kApplicationTitle);

        TMainForm* MainForm;
        TJUtilityForm* JUtilityForm;
        TJSFormatForm* JSFormatForm;
        TChgPwdForm* ChgPwdForm;
        TChkPwdForm* ChkPwdForm;
        TClearPasswdForm* ClearPasswdForm;
        TJDFormatForm* JDFormatForm;
        TJFormatChkPwdForm* JFormatChkPwdForm;
        TJSaveDialogForm* JSaveDialogForm;
        TSetPwdForm* SetPwdForm;
        TChgDevNameForm* ChgDevNameForm;
        TPartitionForm* PartitionForm;
        TCopyFileForm* CopyFileForm;
        TJPartitionChkPwdForm* JPartitionChkPwdForm;
        application.CreateForm(MainForm);
        application.CreateForm(JUtilityForm);
        application.CreateForm(JSFormatForm);
        application.CreateForm(ChgPwdForm);
        application.CreateForm(ChkPwdForm);
        application.CreateForm(ClearPasswdForm);
        application.CreateForm(JDFormatForm);
        application.CreateForm(JFormatChkPwdForm);
        application.CreateForm(JSaveDialogForm);
        application.CreateForm(SetPwdForm);
        application.CreateForm(ChgDevNameForm);
        application.CreateForm(PartitionForm);
        application.CreateForm(CopyFileForm);
        application.CreateForm(JPartitionChkPwdForm);
        application.Run();
    } catch (const std::exception& e) {
        application.ShowError(e.what());
    }
    return 0;
}

std::string installedProgramPath(const win32::Machine& machine) {
    return machine.windowsDirectory() + "\\" + kProgramFile;
}

void installApplication(win32::Machine& machine) {
    const std::string program = installedProgramPath(machine);
    machine.registerProgram(program, [] { return KV7946AP_Main(); });
    machine.addIconResource(program, {kMainIconName, 0, {32, 16}});
    for (win32::WORD id : kItemIconIds)
        machine.addIconResource(program, {"", id, {16}});
    machine.registry().setDword(std::string("HKEY_LOCAL_MACHINE\\") + kSettingsKey, kPopValue, 0);
}

} // namespace kv::ui
