#include "ui/AuthView.h"

#include <QFormLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QVBoxLayout>

#include "steps/AuthView.h"
#include "ui/QtControls.h"
#include "ui/StepViewStyle.h"

namespace tomely::ui {
namespace {

class QtAuthView final : public QtView, public AuthView {
public:
    QtAuthView() : QtView(new QWidget, Ownership::Owned) {
        QWidget* root = widget();
        auto* layout = new QVBoxLayout(root);
        layout->addWidget(makeHeading(QStringLiteral("Sign in to your Tomely shelf"), root));
        layout->addWidget(
            makeExplanation(QStringLiteral("Use the e-mail address and password of your Tomely account."), root));
        layout->addSpacing(12);

        auto* form = new QFormLayout;
        form->setFieldGrowthPolicy(QFormLayout::AllNonFixedFieldsGrow);
        email_ = new QLineEdit(root);
        email_->setObjectName(QStringLiteral("emailField"));
        email_->setAccessibleName(QStringLiteral("E-mail address"));
        email_->setPlaceholderText(QStringLiteral("you@example.com"));
        password_ = new QLineEdit(root);
        password_->setObjectName(QStringLiteral("passwordField"));
        password_->setAccessibleName(QStringLiteral("Password"));
        password_->setEchoMode(QLineEdit::Password);
        auto* emailLabel = new QLabel(QStringLiteral("&E-mail address:"), root);
        emailLabel->setBuddy(email_);
        auto* passwordLabel = new QLabel(QStringLiteral("&Password:"), root);
        passwordLabel->setBuddy(password_);
        emailError_ = makeErrorLabel(QStringLiteral("Please enter your e-mail address."),
                                     QStringLiteral("emailFieldError"), root);
        passwordError_ =
            makeErrorLabel(QStringLiteral("Please enter your password."), QStringLiteral("passwordFieldError"), root);
        form->addRow(emailLabel, email_);
        form->addRow(QString(), emailError_);
        form->addRow(passwordLabel, password_);
        form->addRow(QString(), passwordError_);
        layout->addLayout(form);

        credentialsError_ =
            makeErrorLabel(QStringLiteral("The e-mail address or the password is not correct. Please try again."),
                           QStringLiteral("incorrectCredentialsError"), root);
        layout->addWidget(credentialsError_);
        progress_ = new QProgressBar(root);
        progress_->setObjectName(QStringLiteral("progressBar"));
        progress_->setAccessibleName(QStringLiteral("Signing in"));
        QSizePolicy policy = progress_->sizePolicy();
        policy.setRetainSizeWhenHidden(true);
        progress_->setSizePolicy(policy);
        progress_->hide();
        layout->addWidget(progress_);
        layout->addStretch();

        auto* links = new QHBoxLayout;
        forgotten_ =
            makeLinkButton(QStringLiteral("Forgot your password?"), QStringLiteral("forgottenPasswordButton"), root);
        signup_ = makeLinkButton(QStringLiteral("Create an account"), QStringLiteral("signupButton"), root);
        links->addWidget(forgotten_);
        links->addWidget(signup_);
        links->addStretch();
        layout->addLayout(links);

        QWidget::setTabOrder(email_, password_);
        QWidget::setTabOrder(password_, forgotten_);
        QWidget::setTabOrder(forgotten_, signup_);
        root->setFocusProxy(email_);

        emailField_.emplace(email_);
        passwordField_.emplace(password_);
        emailFieldError_.emplace(emailError_);
        passwordFieldError_.emplace(passwordError_);
        incorrectCredentialsError_.emplace(credentialsError_);
        progressBar_.emplace(progress_);
        forgottenButton_.emplace(forgotten_);
        signupButton_.emplace(signup_);
    }

    TextControl& emailField() override { return *emailField_; }
    TextControl& emailFieldError() override { return *emailFieldError_; }
    TextControl& passwordField() override { return *passwordField_; }
    TextControl& passwordFieldError() override { return *passwordFieldError_; }
    TextControl& incorrectCredentialsError() override { return *incorrectCredentialsError_; }
    ProgressIndicator& progressBar() override { return *progressBar_; }
    Button& forgottenPasswordButton() override { return *forgottenButton_; }
    Button& signupButton() override { return *signupButton_; }

private:
    QLineEdit* email_;
    QLineEdit* password_;
    QLabel* emailError_;
    QLabel* passwordError_;
    QLabel* credentialsError_;
    QProgressBar* progress_;
    QPushButton* forgotten_;
    QPushButton* signup_;
    std::optional<QtTextField> emailField_, passwordField_;
    std::optional<QtLabel> emailFieldError_, passwordFieldError_, incorrectCredentialsError_;
    std::optional<QtProgressIndicator> progressBar_;
    std::optional<QtButton> forgottenButton_, signupButton_;
};

}  // namespace

std::unique_ptr<View> makeAuthView() {
    return std::make_unique<QtAuthView>();
}

}  // namespace tomely::ui
