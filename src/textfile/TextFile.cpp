#include "textfile/TextFile.h"

#include "core/Error.h"
#include "textfile/DrivePath.h"
#include "textfile/PrivateFiles.h"

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <system_error>

#include <unistd.h>

namespace textfile {

namespace {

using core::Error;
namespace Code = core::ErrorCode;

struct FileCloser {
    void operator()(std::FILE *file) const { std::fclose(file); }
};
using FileHandle = std::unique_ptr<std::FILE, FileCloser>;

bool parentMissing(const std::filesystem::path &path)
{
    const std::filesystem::path parent = path.parent_path();
    if (parent.empty())
        return false;
    std::error_code ec;
    return !std::filesystem::is_directory(parent, ec);
}

// The error for a failed open of `local`, named by the caller's `fileName`.
Error openError(const std::string &fileName, const std::filesystem::path &local, int error, bool forReading)
{
    if (error == ELOOP && !forReading)
        return Error(Code::PathFileAccessError, "Path/File access error: " + fileName
                                                    + " is a symbolic link; the file is not written through it");
    if (error == EISDIR)
        return Error(Code::PathFileAccessError, "Path/File access error: " + fileName + " is a folder");
    if (error == ENOENT || error == ENOTDIR) {
        if (parentMissing(local))
            return Error(Code::PathNotFound, "Path not found: " + fileName);
        if (forReading)
            return Error(Code::FileNotFound, "File not found: " + fileName);
    }
    return Error(Code::PathFileAccessError,
                 "Path/File access error: " + fileName + " (" + std::generic_category().message(error) + ")");
}

FileHandle openForInput(const std::string &fileName)
{
    const std::filesystem::path local = drivePath(fileName);
    std::error_code ec;
    if (std::filesystem::is_directory(local, ec))
        throw Error(Code::PathFileAccessError, "Path/File access error: " + fileName + " is a folder");
    errno = 0;
    FileHandle file(std::fopen(local.c_str(), "rb"));
    if (!file)
        throw openError(fileName, local, errno, true);
    return file;
}

// Reads one line into `line`. False when the file was already at its end.
bool readLine(std::FILE *file, const std::string &fileName, std::string &line)
{
    line.clear();
    int c = std::getc(file);
    if (c == EOF) {
        if (std::ferror(file))
            throw Error(Code::PathFileAccessError, "Path/File access error: cannot read " + fileName);
        return false;
    }
    while (c != EOF && c != '\r' && c != '\n') {
        line.push_back(static_cast<char>(c));
        c = std::getc(file);
    }
    if (c == '\r') {
        const int next = std::getc(file);
        if (next != '\n' && next != EOF)
            std::ungetc(next, file);
    }
    if (std::ferror(file))
        throw Error(Code::PathFileAccessError, "Path/File access error: cannot read " + fileName);
    return true;
}

bool atEnd(std::FILE *file)
{
    const int c = std::getc(file);
    if (c == EOF)
        return true;
    std::ungetc(c, file);
    return false;
}

} // namespace

std::string TextFile::ReadLineText(const std::string &fileName)
{
    FileHandle file = openForInput(fileName);
    if (!readLine(file.get(), fileName, m_line))
        throw Error(Code::InputPastEndOfFile, "Input past end of file: " + fileName + " is empty");
    return m_line;
}

std::string TextFile::ReadAllText(const std::string &fileName)
{
    FileHandle file = openForInput(fileName);
    std::string result;
    while (!atEnd(file.get())) {
        readLine(file.get(), fileName, m_line);
        result += "\r\n";
        result += m_line;
    }
    return result;
}

void TextFile::WriteLineText(const std::string &fileName, const std::string &text)
{
    const std::filesystem::path local = drivePath(fileName);
    // The drive folder may be writable by others: a link planted at the file's name is an
    // error, never followed, and a new file is the owner's alone.
    const int fd = openForAppend(local);
    FileHandle file(fd < 0 ? nullptr : ::fdopen(fd, "ab"));
    if (!file) {
        const int error = errno;
        if (fd >= 0)
            ::close(fd);
        throw openError(fileName, local, error, false);
    }

    m_line = "\"" + text + "\"\r\n";
    // The record goes out in one write; a short write, a failed flush (the disk full)
    // or a failed close is an error of this call.
    errno = 0;
    int error = 0;
    if (std::fwrite(m_line.data(), 1, m_line.size(), file.get()) != m_line.size())
        error = errno ? errno : EIO;
    if (error == 0 && std::fflush(file.get()) != 0)
        error = errno ? errno : EIO;
    if (std::fclose(file.release()) != 0 && error == 0)
        error = errno ? errno : EIO;
    if (error != 0)
        throw Error(Code::PathFileAccessError, "Path/File access error: cannot write to " + fileName + " ("
                                                   + std::generic_category().message(error) + ")");
}

} // namespace textfile
