#include "common/FakeDesktop.h"

namespace tomely::test {

std::size_t FakeAlertPresenter::runModal(const Alert& alert) {
    shown.push_back(alert);
    if (onAlert) {
        onAlert(alert);
    }
    if (answers.empty()) {
        return 0;
    }
    const std::size_t answer = answers.front();
    answers.pop_front();
    return answer;
}

std::optional<std::vector<OpenDocument>> FakeWorkspace::openDocumentsOfApplication(std::string_view bundleIdentifier) {
    documentQueries.emplace_back(bundleIdentifier);
    auto it = documents.find(bundleIdentifier);
    if (it == documents.end()) {
        return std::nullopt;
    }
    return it->second;
}

std::optional<std::string> FakeOpenPanel::runModal(const std::vector<std::string>& allowedFileTypes) {
    requests.push_back(allowedFileTypes);
    if (answers.empty()) {
        return std::nullopt;
    }
    auto answer = answers.front();
    answers.pop_front();
    return answer;
}

}  // namespace tomely::test
