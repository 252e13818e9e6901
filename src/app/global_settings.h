#pragma once

#include <QString>

// The process-wide settings record, filled once at start-up from section PARAM of the settings file.
struct GlobalSettingsRecord {
    QString IniFile;
    QString LogFile;
    QString ErrFile;
    QString CustName;
    QString CorpName;
    QString Calendar;
    QString DateSep;
    QString LogoFile;
    QString PrintCheckLogo;
    QString UserID;
    QString ComputerName;
    QString AmtFmt;
    QString CaptionFile;
    QString DateQuote;
};

GlobalSettingsRecord& GlobalSettings();

// Fills GlobalSettings. An empty IniFileName means "ZKPARAM.INI"; an empty IniFolder means the
// family layout, with settings in ../DAT and logs in ../LOG beside the program folder.
void InitGlobal(const QString& IniFileName = {}, const QString& IniFolder = {});

QString GetLoginName();
QString GetMachineName();
