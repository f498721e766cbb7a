#pragma once

// Command numbers of the menus, the toolbar and the accelerators. They are the numbers of the
// old program, so logs and scripts that name them stay valid.
namespace cmd {

constexpr int AddAccount = 32772;
constexpr int DeleteAccount = 32774;
constexpr int EditConnection = 32777;
constexpr int EditAccountFields = 32779;
constexpr int PrintDeviceList = 32781;
constexpr int ExportDeviceList = 32783;
constexpr int SaveConfig = 32789;
constexpr int PrintConfig = 32790;
constexpr int ReadConfig = 32791;
constexpr int ShowConfig = 32792;
constexpr int ReadArchive = 32798;
constexpr int CreateReport = 32799;
constexpr int ImportArchive = 32800;
constexpr int ExportArchive = 32801;
constexpr int ReadReport = 32802;
constexpr int PrintReport = 32807;
constexpr int SaveReport = 32808;
constexpr int LoadReport = 32809;
constexpr int ViewFont = 32816;
constexpr int PrintFont = 32817;
constexpr int SetClock = 32818;
constexpr int ShowArchive = 32823;
constexpr int Parameters = 32827;
constexpr int PreviewConfig = 32829;
constexpr int PreviewReport = 32830;
constexpr int ExportDatabase = 32834;
constexpr int Diagnostic = 32835;
// Commands of this program's own, after the old numbers.
constexpr int PollAll = 32900;
constexpr int PollSelected = 32901;
constexpr int ReportsAll = 32902;
constexpr int ShowChart = 32903;
constexpr int QualityCheck = 32904;

// The framework's own commands.
constexpr int PrintSetup = 0xE106;
constexpr int Exit = 0xE141;
constexpr int About = 0xE140;
constexpr int ViewToolbar = 0xE800;
constexpr int ViewStatusBar = 0xE801;

} // namespace cmd
