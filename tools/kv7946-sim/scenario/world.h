// What a scenario acts on: a simulated machine with its devices and
// programs, and the forms of the running application. The runner knows
// only this interface; SimWorld is the real one.
#pragma once

#include "tools/kv7946-sim/scenario/script.h"

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace scenario {

struct MessageBoxInfo {
    std::string caption;
    std::string text;
    std::string icon;                 // "warning", "error", "information", "question" or empty
    std::vector<std::string> buttons; // "OK", "Cancel", "Yes", "No"...
};

// Answers the application's modal boxes; called on the thread that shows
// them. The world writes the transcript lines of the boxes.
class Answerer {
  public:
    virtual ~Answerer() = default;
    // Returns one of info.buttons.
    virtual std::string answerMessage(const MessageBoxInfo& info) = 0;
    // The path chosen in the file-save dialog, or none for Cancel.
    virtual std::optional<std::string> answerSave(const std::string& title) = 0;
};

struct UiState {
    bool visible = false;
    bool enabled = false;
    bool checked = false;
    bool stayOnTop = false;         // forms only
    std::string text;               // Caption or Text, whichever the control shows
    std::vector<std::string> items; // combo and list boxes
};

enum class ProgramState { NeverStarted, Running, Ended };

class World {
  public:
    virtual ~World() = default;

    // Who answers the message boxes and save dialogs from now on.
    virtual void setAnswerer(Answerer* answerer) = 0;
    // Called once, before any other call but setAnswerer.
    virtual bool setMachine(const std::string& kind, std::string& error) = 0;

    virtual bool addDevice(int n, const DeviceSpec& spec, std::string& error) = 0;
    virtual bool plug(int n, std::string& error) = 0;
    virtual bool unplug(int n, std::string& error) = 0;
    virtual bool injectFault(int n, const FaultSpec& fault, std::string& error) = 0;
    virtual bool trace(int n, const std::string& path, std::string& error) = 0;
    virtual bool exportDisk(int n, const std::string& disk, const std::string& path,
                            std::string& error) = 0;

    // Starts a registered program and lets it settle (forms shown, idle).
    virtual bool start(const std::string& program, std::string& error) = 0;
    // Lets virtual time pass.
    virtual void wait(std::chrono::nanoseconds d) = 0;
    // waitForEnd gives a running program a little virtual time to end.
    virtual ProgramState program(const std::string& program, bool waitForEnd) = 0;

    // HKEY_... root included; none when the key or the value is absent or
    // not a 32-bit number.
    virtual std::optional<uint32_t> registryDword(const std::string& key,
                                                  const std::string& value) = 0;

    // Sets a REG_DWORD value (creating the key), or with no number deletes
    // the value, or with no value name the key with everything below it.
    virtual bool setRegistry(const std::string& key, const std::optional<std::string>& value,
                             std::optional<uint32_t> number, std::string& error) = 0;

    // UI actions (type, key, click, select, check, close, tray, menu) on the
    // running application; each returns once the application is idle again.
    virtual bool act(const Step& step, std::string& error) = 0;
    virtual bool query(const Target& target, UiState& state, std::string& error) = 0;

    // Called at the end of the script (the runner's last chance to see
    // programs end before the machine goes away).
    virtual void finish() {}
};

} // namespace scenario
