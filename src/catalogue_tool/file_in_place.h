#pragma once

#include <QString>

// A new catalogue that appears under its name only once it is complete. It is written beside its target under a
// hidden temporary name; any failure removes it with the engine's side files, and the target stays as it was.

namespace catalogue_tool {

class FileInPlace
{
public:
    // purpose names the temporary file ("import", "backup"), so that a stray one says where it came from.
    FileInPlace(const QString& target, const QString& purpose);
    ~FileInPlace();
    FileInPlace(const FileInPlace&) = delete;
    FileInPlace& operator=(const FileInPlace&) = delete;

    const QString& path() const { return m_path; }
    // Syncs the finished file and gives it the target's name (replacing the target and its side files), then
    // syncs the folder. Throws platform::Failure with the system's text.
    void commit();

private:
    QString m_target;
    QString m_path;
    bool m_committed = false;
};

// Refuses a target the tool must not write: in a folder that is missing or cannot take a new file, a folder
// itself, an existing file unless replaceExisting, or the source it is made from. Throws platform::Failure.
void checkNewTarget(const QString& target, bool replaceExisting, const QString& source = QString());

} // namespace catalogue_tool
