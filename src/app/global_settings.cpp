#include "app/global_settings.h"

#include "app/errors.h"
#include "app/ini_reader.h"
#include "app/program_info.h"
#include "app/run_log.h"

#include <QDir>

#include <pwd.h>
#include <unistd.h>

namespace {
constexpr int kNameBufferLength = 255;
constexpr int kLoginNameLimit = 20;
constexpr int kLogLimitKb = 1000;

QString upToNul(const char* buffer) {
    return QString::fromLocal8Bit(buffer, qsizetype(qstrnlen(buffer, kNameBufferLength)));
}
} // namespace

GlobalSettingsRecord& GlobalSettings() {
    static GlobalSettingsRecord record;
    return record;
}

QString GetLoginName() {
    char buffer[kNameBufferLength + 1] = {};
    if (getlogin_r(buffer, kNameBufferLength) == 0 && buffer[0] != '\0')
        return upToNul(buffer);
    if (const passwd* entry = getpwuid(geteuid()); entry && entry->pw_name)
        return upToNul(entry->pw_name);
    return qEnvironmentVariable("USER").left(kNameBufferLength);
}

QString GetMachineName() {
    char buffer[kNameBufferLength + 1] = {};
    if (gethostname(buffer, kNameBufferLength) != 0)
        throw AppError(ErrNo::InvalidCall, QStringLiteral("無法讀取電腦名稱。"));
    return upToNul(buffer);
}

void InitGlobal(const QString& IniFileName, const QString& IniFolder) {
    GlobalSettingsRecord& s = GlobalSettings();
    guarded(QStringLiteral("InitGlobal"), [&] {
        const QString folder = ProgramInfo::programFolder();
        QDir::setCurrent(folder);
        const QString name = IniFileName.isEmpty() ? QStringLiteral("ZKPARAM.INI") : IniFileName;
        const QString base = ProgramInfo::exeBaseName();
        if (!IniFolder.isEmpty()) {
            s.IniFile = IniFolder + QLatin1Char('/') + name;
            s.LogFile = IniFolder + QLatin1Char('/') + base + QStringLiteral(".LOG");
            s.ErrFile = IniFolder + QLatin1Char('/') + base + QStringLiteral(".ERR");
        } else {
            s.IniFile = folder + QStringLiteral("/../DAT/") + name;
            s.LogFile = folder + QStringLiteral("/../LOG/") + base + QStringLiteral(".LOG");
            s.ErrFile = folder + QStringLiteral("/../LOG/") + base + QStringLiteral(".ERR");
        }
        TrimLogFile(kLogLimitKb);
        TrimErrFile(kLogLimitKb);

        const auto read = [&](const char* key) {
            return GetIniString(s.IniFile, QStringLiteral("PARAM"), QLatin1String(key));
        };
        const auto orDefault = [](const QString& value, const char* fallback) {
            return value.isEmpty() ? QString::fromUtf8(fallback) : value;
        };
        s.CustName = read("CustName");
        s.CorpName = read("CorpName");
        s.Calendar = orDefault(read("Calendar"), "YYYY/MM/DD");
        s.DateSep = orDefault(read("DateSep"), "/");
        s.LogoFile = read("LogoFile");
        s.PrintCheckLogo = read("PrintCheckLogo");
        if (!s.PrintCheckLogo.isEmpty())
            s.PrintCheckLogo = folder + QStringLiteral("/../DAT/") + s.PrintCheckLogo;
        s.UserID = read("DefUserID");
        if (s.UserID.isEmpty())
            s.UserID = GetLoginName().left(kLoginNameLimit);
        s.ComputerName = GetMachineName();
        s.AmtFmt = orDefault(read("AmtFmt"), "#,##0");
        s.CaptionFile = read("CaptionFile");
    });
    s.DateQuote = QStringLiteral("'");
}
