#pragma once

#include <QString>

#include <memory>

class QSettings;

namespace Platform {

// The settings file is in the home folder, where anybody who could put a link there, or a
// program gone wrong, may have left something else: reading a named pipe would block start-up
// for ever, writing through a link would replace its target, and a huge file would be read
// whole into memory.
inline constexpr qint64 settingsSizeLimit = 1024 * 1024;

// The application's settings file: <XDG config folder>/<organisation>/<application>.conf.
QString defaultSettingsPath();

// Why the file at `path` must not be read or written (a link, a pipe, a device, a folder, not
// the user's own, larger than settingsSizeLimit); empty when it is a regular file of the
// user's or does not exist yet.
QString settingsFileRefusal(const QString &path);

// The settings at `path`; when they are refused, settings kept in memory only, starting from
// the defaults (the reason is logged).
std::unique_ptr<QSettings> openSettings(const QString &path = defaultSettingsPath());

} // namespace Platform
