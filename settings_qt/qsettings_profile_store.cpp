#include "settings_qt/qsettings_profile_store.h"

#include <QStringList>
#include <QVariant>

namespace qvr {
namespace {

QString ToQString(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

std::string ToStdString(const QString& text) {
    QByteArray bytes = text.toUtf8();
    return std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

QString KeyPath(std::string_view section, std::string_view key) {
    return ToQString(section) + QLatin1Char('/') + ToQString(key);
}

// A value typed into the file by hand with unquoted commas reads as a list;
// the program wants the text as it stands.
QString AsText(const QVariant& value) {
    if (value.typeId() == QMetaType::QStringList) return value.toStringList().join(QLatin1Char(','));
    return value.toString();
}

}  // namespace

QSettingsProfileStore::QSettingsProfileStore()
    : m_settings(QString::fromLatin1(kSettingsOrganization),
                 QString::fromLatin1(kSettingsApplication)) {}

QSettingsProfileStore::QSettingsProfileStore(const QString& iniFile)
    : m_settings(iniFile, QSettings::IniFormat) {}

std::string QSettingsProfileStore::GetProfileString(std::string_view section,
                                                    std::string_view key,
                                                    std::string_view def) const {
    QVariant value = m_settings.value(KeyPath(section, key));
    if (!value.isValid()) return std::string(def);
    return ToStdString(AsText(value));
}

void QSettingsProfileStore::WriteProfileString(std::string_view section, std::string_view key,
                                               std::string_view value) {
    // Always a string, so that text looking like a number or a list is kept
    // as written.
    m_settings.setValue(KeyPath(section, key), QVariant(ToQString(value)));
}

void QSettingsProfileStore::Flush() { m_settings.sync(); }

}  // namespace qvr
