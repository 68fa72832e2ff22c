#include "ui/QtAuthView.h"

#include <QFormLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QVBoxLayout>

#include "steps/AuthView.h"
#include "ui/QtControls.h"
#include "ui/StepViewStyle.h"

namespace tomely::ui {
namespace {

QLineEdit* makeField(const QString& objectName, const QString& accessibleName, QLineEdit::EchoMode echo,
                     QWidget* parent) {
    auto* field = new QLineEdit(parent);
    field->setObjectName(objectName);
    field->setAccessibleName(accessibleName);
    field->setEchoMode(echo);
    return field;
}

// The field with its error label right below it; the label's place is kept while it is hidden,
// so showing it moves nothing.
QBoxLayout* withErrorBelow(QWidget* field, QWidget* error) {
    auto* column = new QVBoxLayout;
    column->setSpacing(2);
    column->addWidget(field);
    column->addWidget(error);
    return column;
}

class QtAuthView final : public QtView, public AuthView {
public:
    QtAuthView()
        : QtView(new QWidget, Ownership::Owned),
          emailField_(
              makeField(QStringLiteral("emailField"), QStringLiteral("E-mail address"), QLineEdit::Normal, widget())),
          passwordField_(
              makeField(QStringLiteral("passwordField"), QStringLiteral("Password"), QLineEdit::Password, widget())),
          emailFieldError_(makeErrorLabel(QStringLiteral("Please enter your e-mail address."),
                                          QStringLiteral("emailFieldError"), emailField_.widget(), widget())),
          passwordFieldError_(makeErrorLabel(QStringLiteral("Please enter your password."),
                                             QStringLiteral("passwordFieldError"), passwordField_.widget(), widget())),
          incorrectCredentialsError_(
              makeErrorLabel(QStringLiteral("The e-mail address or the password is not correct. Please try again."),
                             QStringLiteral("incorrectCredentialsError"), passwordField_.widget(), widget())),
          progressBar_(makeProgressBar(QStringLiteral("Signing in"), widget())),
          forgottenPasswordButton_(makeLinkButton(QStringLiteral("Forgot your password?"),
                                                  QStringLiteral("forgottenPasswordButton"), widget())),
          signupButton_(makeLinkButton(QStringLiteral("Create an account"), QStringLiteral("signupButton"), widget())) {
        QWidget* root = widget();
        auto* layout = new QVBoxLayout(root);
        layout->addWidget(makeHeading(QStringLiteral("Sign in to your Tomely shelf"), root));
        layout->addWidget(
            makeExplanation(QStringLiteral("Use the e-mail address and password of your Tomely account."), root));
        layout->addSpacing(12);
        auto* form = new QFormLayout;
        form->setFieldGrowthPolicy(QFormLayout::AllNonFixedFieldsGrow);
        form->addRow(makeFieldLabel(QStringLiteral("&E-mail address:"), emailField_.widget()),
                     withErrorBelow(emailField_.widget(), emailFieldError_.widget()));
        form->addRow(makeFieldLabel(QStringLiteral("&Password:"), passwordField_.widget()),
                     withErrorBelow(passwordField_.widget(), passwordFieldError_.widget()));
        layout->addLayout(form);
        layout->addWidget(incorrectCredentialsError_.widget());
        layout->addWidget(progressBar_.widget());
        layout->addStretch();
        auto* links = new QHBoxLayout;
        links->addWidget(forgottenPasswordButton_.widget());
        links->addWidget(signupButton_.widget());
        links->addStretch();
        layout->addLayout(links);

        QWidget::setTabOrder(emailField_.widget(), passwordField_.widget());
        QWidget::setTabOrder(passwordField_.widget(), forgottenPasswordButton_.widget());
        QWidget::setTabOrder(forgottenPasswordButton_.widget(), signupButton_.widget());
        root->setFocusProxy(emailField_.widget());
        auto* email = qobject_cast<QLineEdit*>(emailField_.widget());
        email->setPlaceholderText(QStringLiteral("you@example.com"));
        makePlaceholderReadable(email);
    }

    TextControl& emailField() override { return emailField_; }
    TextControl& emailFieldError() override { return emailFieldError_; }
    TextControl& passwordField() override { return passwordField_; }
    TextControl& passwordFieldError() override { return passwordFieldError_; }
    TextControl& incorrectCredentialsError() override { return incorrectCredentialsError_; }
    ProgressIndicator& progressBar() override { return progressBar_; }
    Button& forgottenPasswordButton() override { return forgottenPasswordButton_; }
    Button& signupButton() override { return signupButton_; }

private:
    QtTextField emailField_, passwordField_;
    QtLabel emailFieldError_, passwordFieldError_, incorrectCredentialsError_;
    QtProgressIndicator progressBar_;
    QtButton forgottenPasswordButton_, signupButton_;
};

}  // namespace

std::unique_ptr<View> makeAuthView() {
    return std::make_unique<QtAuthView>();
}

}  // namespace tomely::ui
