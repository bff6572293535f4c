// The configuration file: where it is, and reading it into myModuleData.
#ifndef QVCTX_SRC_MODULE_CONFIGURATION_H_
#define QVCTX_SRC_MODULE_CONFIGURATION_H_

#include "diagnostics/log_file.h"
#include "module/messages.h"

namespace qvctx {

// True when the file named by myModuleData.configFile opens for reading; it
// is closed again at once and nothing is read.
bool ConfigFileExists();

// Puts the configuration file's path into myModuleData.configFile:
// "C:\temp\logs\config.ini" when that opens, else the one in the user's
// application-data folder. When that folder cannot be found, or the joined
// path does not fit, the first path stays (and then names no file).
void ChooseConfigFile();

// Reads every setting from the file named by myModuleData.configFile into
// myModuleData, each key's default where the file, section or key is
// missing, and records the computer and user names ("unknown" when they
// cannot be had). Run once per load, by ReadConfigurationOnce; it cannot
// fail.
void ReadConfiguration();

// The reading that belongs to a load, done at the load's first call rather
// than in the load notification: finding the application-data folder and the
// user's name calls into the shell and other libraries, which is not safe
// while the system holds its loader lock. The first call after
// ArmConfigurationRead runs ChooseConfigFile and ReadConfiguration; threads
// calling meanwhile wait for it; later calls return at once. So a file
// written between the load and its first call is read. Never throws.
void ReadConfigurationOnce() noexcept;

// Marks the configuration unread for a new load. Only stores a flag: safe in
// the load notification.
void ArmConfigurationRead() noexcept;

// Forces the settings of a log writer about to be created into myModuleData
// (configFile and logfileName the fixed paths, logEnabled 1, logLevel 3) and
// hands them over; the writer's level gate is myModuleData.logLevel.
LogSettings ForceLogSettings();

// Makes every log writer created from now on take its settings from
// myModuleData through ForceLogSettings.
void InstallLogSettings();

}  // namespace qvctx

#endif  // QVCTX_SRC_MODULE_CONFIGURATION_H_
