#include "ui/QtUserDefaults.h"

#include "platform/PrivateFiles.h"

namespace tomely::ui {
namespace {

QString keyText(std::string_view key) {
    return QString::fromUtf8(key.data(), static_cast<qsizetype>(key.size()));
}

}  // namespace

QtUserDefaults::QtUserDefaults()
    : settings_(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("tomely"),
                QStringLiteral("tomely-uploader")) {
    // Made owner-only before QSettings writes it: it writes a new copy and renames it into place,
    // keeping the permissions of the file it replaces. What an older version left open to others
    // is closed. A failure shows as the settings' own.
    const std::string file = settings_.fileName().toStdString();
    const std::string folder = file.substr(0, file.rfind('/'));
    (void)(createPrivateDirectories(folder) && restrictToOwner(folder));
    (void)createPrivateFile(file);
}

std::optional<std::string> QtUserDefaults::stringForKey(std::string_view key) const {
    const QVariant value = settings_.value(keyText(key));
    if (value.typeId() != QMetaType::QString) {
        return std::nullopt;
    }
    return value.toString().toStdString();
}

void QtUserDefaults::setString(std::string_view key, const std::string& value) {
    settings_.setValue(keyText(key), QString::fromStdString(value));
}

void QtUserDefaults::synchronize() {
    settings_.sync();
}

}  // namespace tomely::ui
