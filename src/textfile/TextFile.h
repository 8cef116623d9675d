// TextFile: line-oriented text files, bytes in and bytes out.
//
// Every method opens the named file, does its work and closes it before it returns;
// nothing stays open between calls. File names may be Windows paths ("C:\x.Txt"):
// they are resolved through drivePath() first.
//
// Line rule: a line ends at a carriage return (a line feed right after it belongs to
// the same line end), at a lone line feed, or at the end of the file. What
// WriteLineText writes always ends in CR LF, so files written here read the same
// anywhere.
//
// Failures are core::Error (messaging::Error to the object model's users) with these
// numbers, the description naming the file:
//   53 FileNotFound         reading a file that does not exist
//   62 InputPastEndOfFile   ReadLineText on an empty file
//   76 PathNotFound         the file's folder does not exist
//   75 PathFileAccessError  the file cannot be opened, read or written (a folder, a
//                           link, no permission, the disk full ...)
// Not thread-safe: one object per thread.
#pragma once

#include <string>

namespace textfile {

class TextFile {
public:
    // The first line of the file, without its line end. An empty first line gives "".
    std::string ReadLineText(const std::string &fileName);
    // Every line of the file, each preceded by CR LF: "" for an empty file, otherwise a
    // text that begins with CR LF and has none at its end, whether or not the file's last
    // line was terminated.
    std::string ReadAllText(const std::string &fileName);
    // Appends one record: '"' text '"' CR LF. The file is created when missing (mode
    // 0600); what it held is kept. A symbolic link at the file's name is never followed
    // (error 75). Double quotes inside the text are written as they are. The record
    // is written with one call, and a failed write is reported, never ignored.
    void WriteLineText(const std::string &fileName, const std::string &text);

private:
    // The last line read; every method overwrites it and nothing carries over.
    std::string m_line;
};

} // namespace textfile
