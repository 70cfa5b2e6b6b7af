#pragma once

#include <QString>

// The folders every part of the program works in. Each path uses '/' and ends in '/'.
namespace vortane {

// The per-user data folder "vortn" under $XDG_CONFIG_HOME (~/.config); created when missing.
// Holds config.cfg, vw1.cfg and screen-capture-recorder.ini.
QString GetUserDataFolder();
// The folder of the running program file (skin/, manual/, vortenc, libkeyvane.so).
QString GetProgramFolder();
// Where the start-up check expects the encoder: the program folder.
QString GetWindowsFolder();
// The suggested recording folder: the user's Videos folder (created when missing).
QString GetPublicVideoFolder();
// Where optional outside programs are installed, each in a folder of its own (the interaction
// module: talvine/talvine): /opt, unless VORTANE_PROGRAM_FILES names another absolute folder
// (scripts/run and the tests point it at the build's own "opt").
QString GetProgramFilesFolder();
inline constexpr char kProgramFilesVariable[] = "VORTANE_PROGRAM_FILES";

// Appends '/' unless the path already ends in one.
QString WithTrailingSeparator(const QString& path);

// Puts the program folder first on PATH, so the bare name "vortenc" finds the adapter beside the
// program, as the Windows search order would.
void PutProgramFolderFirstOnPath();

}  // namespace vortane
