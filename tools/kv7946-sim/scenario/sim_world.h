// The real world of a scenario: a simulated PC on a virtual clock with
// KV7946AP installed, emulated controllers on its USB ports, the forms
// answered by the runner and seen by the transcript.
#pragma once

#include "platform/vcl/desktop.h"
#include "platform/vcl/transcript.h"
#include "tools/kv7946-sim/scenario/transcript.h"
#include "tools/kv7946-sim/scenario/world.h"

#include <filesystem>
#include <map>
#include <memory>

namespace vcl {
class TApplication;
class TComponent;
} // namespace vcl

namespace win32 {
class Machine;
class Process;
} // namespace win32

namespace scenario {

class DeviceBay;

// The transcript line of a program started or ended.
std::string programLine(const win32::Process& process, bool started);

class SimWorld : public World, vcl::MessageBoxService, vcl::SaveDialogService {
  public:
    // Relative paths of images, traces and exports are taken from base;
    // machineRoot holds the machine's drives (made when missing).
    SimWorld(Transcript& transcript, std::filesystem::path base, std::filesystem::path machineRoot);
    ~SimWorld() override;

    void setAnswerer(Answerer* answerer) override { answerer_ = answerer; }
    bool setMachine(const std::string& kind, std::string& error) override;
    bool addDevice(int n, const DeviceSpec& spec, std::string& error) override;
    bool plug(int n, std::string& error) override;
    bool unplug(int n, std::string& error) override;
    bool injectFault(int n, const FaultSpec& fault, std::string& error) override;
    bool trace(int n, const std::string& path, std::string& error) override;
    bool exportDisk(int n, const std::string& disk, const std::string& path,
                    std::string& error) override;
    bool start(const std::string& program, std::string& error) override;
    void wait(std::chrono::nanoseconds d) override;
    ProgramState program(const std::string& program, bool waitForEnd) override;
    std::optional<uint32_t> registryDword(const std::string& key,
                                          const std::string& value) override;
    bool setRegistry(const std::string& key, const std::optional<std::string>& value,
                     std::optional<uint32_t> number, std::string& error) override;
    bool act(const Step& step, std::string& error) override;
    bool query(const Target& target, UiState& state, std::string& error) override;
    void finish() override;

    // Null before setMachine.
    win32::Machine* machine() const;
    vcl::Desktop* desktop() const;

  private:
    int Ask(vcl::TApplication& app, const vcl::MessageBoxRequest& request) override;
    std::optional<vcl::String> Ask(vcl::TApplication& app,
                                   const vcl::SaveDialogRequest& request) override;

    // The running application that has the form, or null (error set).
    vcl::TApplication* applicationWith(const std::string& form, std::string& error) const;
    // The application of the icon's owner window, or null.
    vcl::TApplication* anyApplication(std::string& error) const;
    bool tray(const std::string& action, std::string& error);
    std::filesystem::path hostPath(const std::string& path) const;

    struct Rig;
    Transcript& transcript_;
    std::filesystem::path base_;
    std::filesystem::path machineRoot_;
    Answerer* answerer_ = nullptr;
    vcl::TranscriptObserver observer_;
    std::unique_ptr<Rig> rig_;
};

} // namespace scenario
