#pragma once

#include <string>
#include <vector>

#include "common/FakeControls.h"
#include "common/FakeView.h"
#include "steps/AuthView.h"
#include "steps/LocateBookView.h"
#include "steps/PrepareBookView.h"

namespace tomely::test {

// The step views with recording controls. Error labels and progress bars start hidden, as the
// app's views show them.

class FakeFileIconControl : public FakeControlBase<FileIconControl> {
public:
    void showIconForFile(const std::string& path) override { shownFiles.push_back(path); }
    std::vector<std::string> shownFiles;
};

class FakeAuthView : public FakeView, public AuthView {
public:
    FakeAuthView() {
        for (Control* hidden :
             std::initializer_list<Control*>{&emailError, &passwordError, &credentialsError, &progress}) {
            hidden->setHidden(true);
        }
    }
    TextControl& emailField() override { return email; }
    TextControl& emailFieldError() override { return emailError; }
    TextControl& passwordField() override { return password; }
    TextControl& passwordFieldError() override { return passwordError; }
    TextControl& incorrectCredentialsError() override { return credentialsError; }
    ProgressIndicator& progressBar() override { return progress; }
    Button& forgottenPasswordButton() override { return forgotten; }
    Button& signupButton() override { return signup; }

    FakeTextControl email, emailError, password, passwordError, credentialsError;
    FakeProgressIndicator progress;
    FakeButton forgotten, signup;
};

class FakeLocateBookView : public FakeView, public LocateBookView {
public:
    FakeLocateBookView() {
        error.setHidden(true);
        progress.setHidden(true);
    }
    FileIconControl& iconImage() override { return icon; }
    TextControl& filePathText() override { return fileName; }
    TextControl& bookFieldError() override { return error; }
    ProgressIndicator& progressBar() override { return progress; }
    Button& findBookButton() override { return findBook; }

    FakeFileIconControl icon;
    FakeTextControl fileName, error;
    FakeProgressIndicator progress;
    FakeButton findBook;
};

class FakePrepareBookView : public FakeView, public PrepareBookView {
public:
    FakePrepareBookView() {
        error.setHidden(true);
        clash.setHidden(true);
    }
    TextField& generateBookField() override { return name; }
    TextControl& continueChoiceText() override { return choice; }
    TextControl& errorField() override { return error; }
    TextControl& errorField2() override { return clash; }
    TableControl& existingBooksTable() override { return table; }

    FakeTextField name;
    FakeTextControl choice, error, clash;
    FakeTableControl table;
};

}  // namespace tomely::test
