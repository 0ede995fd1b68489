#pragma once

// The user-visible texts, looked up by their resource numbers. Texts are UTF-8.

namespace quaylet {

namespace str {
inline constexpr int AppTitle = 57344;            // "Glimmerly"
inline constexpr int AppTitleEmpty = 57345;       // left empty on purpose
inline constexpr int CountFormat = 59138;         // "% d of %d"
inline constexpr int InstanceName = 59139;        // "KestrelioClient"
inline constexpr int UploadSuccessful = 59141;
inline constexpr int ClickHereToView = 59142;
inline constexpr int NoInternetTitle = 59143;
inline constexpr int NoInternetText = 59144;
inline constexpr int ServerMaintenanceTitle = 59145;
inline constexpr int ServerMaintenanceText = 59146;
inline constexpr int DuplicateFile = 59147;
inline constexpr int MediaAlreadyExists = 59148;
inline constexpr int LoginIncorrect = 59149;
inline constexpr int LoginCheck = 59150;
inline constexpr int NotPremiumYet = 59151;
inline constexpr int UpgradeToPremium = 59152;
inline constexpr int NewVersionQuestion = 59153;
inline constexpr int PhotoLimitExceeded = 59157;
inline constexpr int VideoLimitExceeded = 59158;
inline constexpr int Ready = 59159;
inline constexpr int Resizing = 59160;
inline constexpr int Encoding = 59161;
inline constexpr int Uploading = 59162;
inline constexpr int Uploaded = 59163;
inline constexpr int Trying = 59164;
inline constexpr int CancelUpload = 59165;
inline constexpr int LaunchHelp = 59166;
inline constexpr int MinimizeToTray = 59167;
inline constexpr int Menu = 59168;
inline constexpr int InvalidMovieMakerTitle = 59171;
inline constexpr int InvalidMovieMakerText = 59172;
// The failure notice names the file ("%s could not be uploaded."), or, when it
// is not known, says so without a name.
inline constexpr int UploadFailedFile = 59173;
inline constexpr int UploadFailed = 59174;
inline constexpr int Paused = 59180;
} // namespace str

// The text with the given number; an unknown number gives an empty text.
const char* LoadString(int id);

} // namespace quaylet
