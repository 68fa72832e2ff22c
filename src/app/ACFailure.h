#pragma once

#include <cstdint>
#include <string>

#include "app/Desktop.h"
#include "http/CallFailure.h"
#include "platform/Error.h"

namespace tomely {

// The alerts that end the wizard. Each runs a critical alert modally on the main thread and
// then terminates the application; a caller on another thread posts to the main loop first.
class ACFailure {
public:
    ACFailure() = delete;

    // A call that failed or answered with an unexpected status (0 when no response arrived).
    static void httpFailure(Desktop& desktop, const CallFailure& failure);
    // Any failed part upload; the same words whatever went wrong.
    static void httpUploadBookFailure(Desktop& desktop);
    // The book package could not be extracted.
    static void unzipFailure(Desktop& desktop, const Error& error);
    // Runs `alert` modally, then terminates the application: the end of every failure.
    static void runAndTerminate(Desktop& desktop, const Alert& alert);

    // The alerts' contents, apart from running them.
    [[nodiscard]] static Alert httpFailureAlert(std::int32_t responseStatusCode, const std::string& url);
    [[nodiscard]] static Alert httpUploadBookFailureAlert();
    [[nodiscard]] static Alert unzipFailureAlert(const Error& error);
    // Splitting, fingerprinting or preparing the uploads failed on this machine (a full disk):
    // the error says which file and why. Not the upload alert, which blames the connection.
    [[nodiscard]] static Alert bookPreparationFailureAlert(const Error& error);
};

}  // namespace tomely
