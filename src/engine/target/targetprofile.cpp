// SPDX-License-Identifier: MIT
#include "target/targetprofile.h"

namespace {

constexpr qint64 GiB = qint64(1) << 30;

// Where a rule comes from is said beside it: the target's own documentation, or what was measured here
// through exfat-fuse, ntfs-3g (-o windows_names) and fusefat on loop devices.
std::vector<TargetProfile> makeProfiles()
{
    std::vector<TargetProfile> profiles;
    profiles.push_back({
        .key = QStringLiteral("windows"),
        .title = QStringLiteral("Windows (NTFS, SMB share)"),
        .description = QStringLiteral("A Windows drive, or a share served by Windows"),
        // Microsoft, "Naming Files, Paths, and Namespaces"; measured here: ntfs-3g refuses each with EINVAL.
        .forbiddenCharacters = QStringLiteral("\\/:*?\"<>|"),
        .refusesControlCharacters = true, // same document; measured here: ntfs-3g
        .refusesDelete = false,           // NTFS takes U+007F
        .refusesReservedNames = true,     // same document; measured here: CON, con.txt, NUL.txt, COM1.log
        .refusesSuperscriptReservedNames = true, // same document lists COM¹ to LPT³
        .refusesTrailingPeriod = true,           // Win32 strips it; measured here: ntfs-3g refuses
        .refusesTrailingSpace = true,            // as the period
        .refusesLeadingSpace = false,            // allowed, if awkward in Explorer
        .requiresUtf8 = true,                    // NTFS stores UTF-16
        .nameLimit = 255, // NTFS; measured here: 127 emoji (254 units) pass, 128 fail, 255 × "é" passes
        .nameUnit = TargetUnit::Utf16,
        // MAX_PATH is 260 with its terminating NUL: Explorer and many programs take no more, drive included.
        .pathLimit = 259,
        .pathUnit = TargetUnit::Utf16,
        .separator = u'\\',
        // Windows opens names ignoring case; ntfs-3g keeps "README" and "Readme" apart, Windows cannot.
        .caseInsensitive = true,
        .normalizationInsensitive = false, // NTFS compares code units
    });
    profiles.push_back({
        .key = QStringLiteral("exfat"),
        .title = QStringLiteral("exFAT (USB stick, SD card)"),
        .description = QStringLiteral("A USB stick, SD card or external disk formatted exFAT"),
        // exFAT specification, file name characters; measured here: exfat-fuse refuses each with ENOENT.
        .forbiddenCharacters = QStringLiteral("\\/:*?\"<>|"),
        .refusesControlCharacters = true, // same specification; measured here
        .refusesDelete = false,           // measured here: exfat-fuse takes it
        // exFAT takes these (measured here), but Windows, where most sticks are read, cannot open them:
        // stricter than the file system, on purpose.
        .refusesReservedNames = true,
        .refusesSuperscriptReservedNames = true,
        .refusesTrailingPeriod = true, // as the reserved names
        .refusesTrailingSpace = true,
        .requiresUtf8 = true, // exFAT stores UTF-16
        .nameLimit = 255,     // exFAT specification; measured here: 127 emoji pass, 128 fail
        .nameUnit = TargetUnit::Utf16,
        .pathUnit = TargetUnit::Utf16,
        .caseInsensitive = true,           // measured here: a second name by case lands on the first
        .normalizationInsensitive = false, // exFAT compares up-cased code units
    });
    TargetProfile fat32 = profiles.back();
    fat32.key = QStringLiteral("fat32");
    fat32.title = QStringLiteral("FAT32 (older sticks, cameras)");
    fat32.description = QStringLiteral("A stick, memory card or camera formatted FAT32 (vfat)");
    fat32.refusesDelete = true;        // measured here: fusefat refuses 0x7F
    fat32.fileSizeLimit = 4 * GiB - 1; // FAT keeps a file's size in 32 bits
    profiles.push_back(fat32);
    profiles.push_back({
        .key = QStringLiteral("onedrive"),
        .title = QStringLiteral("OneDrive, SharePoint"),
        .description = QStringLiteral("A folder synced to OneDrive or SharePoint in Microsoft 365"),
        // Microsoft, "Restrictions and limitations in OneDrive and SharePoint"; the sync client keeps its
        // files in a Windows folder, so what Windows refuses is refused too.
        .forbiddenCharacters = QStringLiteral("\\/:*?\"<>|"),
        .refusesControlCharacters = true,        // Windows
        .refusesReservedNames = true,            // OneDrive's list: CON, PRN, AUX, NUL, COM0-9, LPT0-9
        .refusesSuperscriptReservedNames = true, // Windows
        .refusesTrailingPeriod = true,           // Windows
        .refusesTrailingSpace = true,            // OneDrive: no leading or trailing spaces
        .refusesLeadingSpace = true,
        .requiresUtf8 = true,
        .nameLimit = 255, // Windows
        .nameUnit = TargetUnit::Utf16,
        // OneDrive: 400 characters for the decoded path with the file name. Counted with the target folder
        // as given: give it as it lies in the library for the exact figure.
        .pathLimit = 400,
        .pathUnit = TargetUnit::Utf16,
        .separator = u'\\',
        .fileSizeLimit = 250 * GiB, // OneDrive: 250 GB per file
        .caseInsensitive = true,    // OneDrive and SharePoint ignore case
        // OneDrive's own names, refused anywhere.
        .ownNames = {.owner = QStringLiteral("OneDrive"),
                     .whole = {QStringLiteral(".lock"), QStringLiteral("desktop.ini")},
                     .prefixes = {QStringLiteral("~$")},
                     .infixes = {QStringLiteral("_vti_")}},
    });
    profiles.push_back({
        .key = QStringLiteral("macos"),
        .title = QStringLiteral("macOS (APFS, HFS+)"),
        .description = QStringLiteral("A Mac disk in its default format, or a share served by a Mac"),
        // The Finder shows ":" as "/"; the file system refuses ":" alone (Apple, File System Programming
        // Guide).
        .forbiddenCharacters = QStringLiteral(":"),
        .requiresUtf8 = true, // APFS demands UTF-8; HFS+ stores UTF-16
        .nameLimit = 255,     // HFS+ counts UTF-16 units
        .nameUnit = TargetUnit::Utf16,
        .caseInsensitive = true,          // the default format ignores case
        .normalizationInsensitive = true, // and Unicode form
    });
    profiles.push_back({
        .key = QStringLiteral("ecryptfs"),
        .title = QStringLiteral("eCryptfs, rclone crypt"),
        .description = QStringLiteral("An encrypted home folder, or an encrypted rclone remote"),
        // eCryptfs documentation: encrypted names grow past the lower file system's 255 bytes beyond 143.
        .nameLimit = 143,
        .pathLimit = 4095, // Linux PATH_MAX with its NUL
    });
    profiles.push_back({
        .key = QStringLiteral("linux"),
        .title = QStringLiteral("Linux (ext4, Btrfs, XFS)"),
        .description = QStringLiteral("A Linux disk, or any other target that takes names as bytes"),
        .nameLimit = 255,  // NAME_MAX; measured here: ext4 refuses 255 × "é" (510 bytes)
        .pathLimit = 4095, // PATH_MAX with its NUL
    });
    return profiles;
}

} // namespace

const std::vector<TargetProfile>& targetProfiles()
{
    static const std::vector<TargetProfile> profiles = makeProfiles();
    return profiles;
}

const TargetProfile* targetProfile(QStringView key)
{
    for (const TargetProfile& profile : targetProfiles())
        if (profile.key == key)
            return &profile;
    return nullptr;
}
