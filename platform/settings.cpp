#include "platform/settings.h"

#include <QDir>
#include <QSettings>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <cstdlib>

namespace settings {

namespace {

QString from_text(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// A section or key as it is kept in the file. Lower case makes "Tavi" and "TAVI", or
// "Grid On/Off" and "grid on/off", the same name. QSettings gives '/' a meaning of its
// own (a nested group; leading, trailing and doubled ones vanish), so it is escaped,
// and '%' with it to keep the mapping one-to-one. Blanks are kept as they are: keys
// such as "Scale Bar " and " 0" differ from their trimmed twins, and QSettings stores
// them escaped and reads them back intact. An empty name would merge with its section,
// so it gets a form no other name can have.
QString stored_name(std::string_view name) {
    if (name.empty())
        return QStringLiteral("%");
    QString lower = from_text(name).toLower();
    lower.replace(QLatin1Char('%'), QLatin1String("%25"));
    lower.replace(QLatin1Char('/'), QLatin1String("%2F"));
    return lower;
}

QString stored_path(std::string_view section, std::string_view key) {
    return stored_name(section) + QLatin1Char('/') + stored_name(key);
}

// The application names the file, in capitals so that any spelling of it opens the
// same one; separators cannot become folders.
QString file_name_of(std::string_view application) {
    QString name = from_text(application).toUpper();
    name.replace(QLatin1Char('/'), QLatin1Char('_'));
    if (name.isEmpty())
        name = QStringLiteral("_");
    return name + QLatin1String(".ini");
}

std::filesystem::path config_home() {
    // Only an absolute XDG_CONFIG_HOME counts; an empty or relative one is ignored.
    const char *xdg = std::getenv("XDG_CONFIG_HOME");
    if (xdg != nullptr && xdg[0] == '/')
        return xdg;
    return std::filesystem::path(QDir::homePath().toStdString()) / ".config";
}

} // namespace

std::filesystem::path file_of(std::string_view application) {
    return config_home() / "TAVI" / file_name_of(application).toStdString();
}

// The path is given to QSettings explicitly: its own choice of folder is fixed at the
// first use in a process and would not follow a later change of the environment.
Store::Store(std::string_view application)
    : ini_(std::make_unique<QSettings>(QString::fromStdString(file_of(application).string()),
                                       QSettings::IniFormat)) {}

Store::~Store() {
    ini_->sync();
}

std::string Store::get(std::string_view section, std::string_view key, std::string_view def) const {
    const QVariant value = ini_->value(stored_path(section, key));
    if (!value.isValid())
        return std::string(def);
    // A value edited by hand with an unquoted comma comes back as a list.
    if (value.userType() == QMetaType::QStringList)
        return value.toStringList().join(QLatin1Char(',')).toStdString();
    return value.toString().toStdString();
}

void Store::put(std::string_view section, std::string_view key, std::string_view value) {
    ini_->setValue(stored_path(section, key), from_text(value));
}

bool Store::sync() {
    ini_->sync();
    return ini_->status() == QSettings::NoError;
}

std::string get(std::string_view application, std::string_view section, std::string_view key,
                std::string_view def) {
    return Store(application).get(section, key, def);
}

bool put(std::string_view application, std::string_view section, std::string_view key,
         std::string_view value) {
    Store store(application);
    store.put(section, key, value);
    return store.sync();
}

} // namespace settings
