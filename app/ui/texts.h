// Captions and messages the application shows.
#pragma once

namespace kv::ui {

inline constexpr const char* kCaptionWarning = "WARNING";
inline constexpr const char* kCaptionError = "ERROR";
inline constexpr const char* kCaptionOk = "OK";

inline constexpr const char* kSelectDevice = "Please select the device!";
inline constexpr const char* kCannotFindDevice = "Can't find the device, please check the device!";
inline constexpr const char* kPasswordCorrect = "Password Correct!!";
inline constexpr const char* kPasswordIncorrect = "Password Incorrect!!";
inline constexpr const char* kThirdFailure =
    "Password Failed 3 Times!!,The device has been stopped, please unplug and replug the device";
inline constexpr const char* kFormatError = "Password format Error. Please reset the password.";
inline constexpr const char* kCorrupted = "Password corrupted. Please reset the password.";
inline constexpr const char* kFatalRepair = "FATAL ERROR!";
inline constexpr const char* kFatalReason = "Fatal error!";
inline constexpr const char* kCheckDevice = "Please check the device!";

} // namespace kv::ui
