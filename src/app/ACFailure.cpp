#include "app/ACFailure.h"

#include "http/ServiceURL.h"

namespace tomely {
namespace {

Alert criticalAlert(std::string messageText, std::string informativeText) {
    Alert alert;
    alert.style = Alert::Style::Critical;
    alert.messageText = std::move(messageText);
    alert.informativeText = std::move(informativeText);
    return alert;
}

}  // namespace

Alert ACFailure::httpFailureAlert(std::int32_t responseStatusCode, const std::string& url) {
    switch (responseStatusCode) {
        case 500:
            return criticalAlert("Server error", "There was a problem with a server at " + serviceDomainName() +
                                                     ". Please try again later");
        case 503:
            return criticalAlert("Server error",
                                 "The server at " + serviceDomainName() + " was not reachable. Please try again later");
        default:
            return criticalAlert("HTTP failure", "A HTTP call failed with status code " +
                                                     std::to_string(responseStatusCode) + ". Can not continue. \n" +
                                                     url);
    }
}

Alert ACFailure::httpUploadBookFailureAlert() {
    return criticalAlert("HTTP failure",
                         "There was a problem uploading your book. This sometimes happens when you disconnect from "
                         "the internet briefly. Please try again.");
}

Alert ACFailure::unzipFailureAlert(const Error& error) {
    std::string text = "Extraction failed. Can not continue. \n" + error.userInfoValue(kLocalizedDescriptionKey);
    // The extraction's own errors carry no failing URL; then nothing stands in its place.
    if (const std::string url = error.userInfoValue(kFailingURLKey); !url.empty()) {
        text += "\n" + url;
    }
    return criticalAlert("Extraction failed", std::move(text));
}

Alert ACFailure::bookPreparationFailureAlert(const Error& error) {
    return criticalAlert("Preparing the book failed", error.localizedDescription() + ". Can not continue.");
}

void ACFailure::httpFailure(Desktop& desktop, const CallFailure& failure) {
    runAndTerminate(desktop, httpFailureAlert(failure.statusCode, failure.url));
}

void ACFailure::httpUploadBookFailure(Desktop& desktop) {
    runAndTerminate(desktop, httpUploadBookFailureAlert());
}

void ACFailure::unzipFailure(Desktop& desktop, const Error& error) {
    runAndTerminate(desktop, unzipFailureAlert(error));
}

void ACFailure::runAndTerminate(Desktop& desktop, const Alert& alert) {
    runModalAlert(desktop.alerts, alert);
    desktop.application.terminate();
}

}  // namespace tomely
