#pragma once

// The status texts that name how an update ended, word for word as the window
// shows them (typos included: technicians quote them). The dialogue shows
// them, and the table of endings (UpdateEndings.cpp) reads the ending from
// them, so both take them from here.
namespace Status {
inline constexpr char StoppedByUser[] = "Stopped by user!";
inline constexpr char NoBootAtEntry[] = "Did not got boot (reboot)!";
inline constexpr char NoBootAfterReboot[] = "Did not get boot (reboot)!";
inline constexpr char FlashTimedOut[] = "Timeout waiting for flash... try again";
inline constexpr char FlashFailed[] = "Failed to erase flash... try again";
inline constexpr char FailedAtLine[] = "Failed at line "; // then the line and the reason
inline constexpr char VerificationTimedOut[] = "Timeout waiting for verification... try again";
inline constexpr char SentUnsuccessfully[] = "File sent UNsuccessfully! "; // then the reason
inline constexpr char ResetFailed[] = "Error Reseting Veltrax Defaults";
inline constexpr char RebootFailed[] = "Error Rebooting Veltrax";
inline constexpr char UpdateSuccessful[] = "Update Successful";
} // namespace Status
