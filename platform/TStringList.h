#pragma once
// An ordered list of text lines, byte strings without any conversion.
// Lines load with CR, LF or CR LF ends and save with CR LF.
#include <string>
#include <vector>

class TStringList {
public:
    int Count() const { return static_cast<int>(lines_.size()); }
    const std::string& operator[](int i) const { return lines_.at(static_cast<size_t>(i)); }
    std::string& operator[](int i) { return lines_.at(static_cast<size_t>(i)); }
    const std::vector<std::string>& Lines() const { return lines_; }

    int Add(const std::string& line);
    void Insert(int index, const std::string& line);
    void Delete(int index);
    // Moves the line at cur to the place newIndex, the others closing up.
    void Move(int cur, int newIndex);
    void Clear() { lines_.clear(); }

    // The text after the first "=" of the first line whose part before that "=" equals
    // name, compared ignoring ASCII letter case; empty text when there is none.
    std::string Values(const std::string& name) const;
    // The text after the first "=" of every line whose name is name (as Values() compares), in
    // their order: a name given several times, as a piece with several artists has.
    std::vector<std::string> AllValues(const std::string& name) const;
    // Index of the line Values() would use, or -1.
    int IndexOfName(const std::string& name) const;

    // Splits text into lines at CR, LF or CR LF; a last line without an end counts.
    void SetText(const std::string& text);
    // The lines joined, each followed by CR LF.
    std::string Text() const;

    // Throws EFileError when the file cannot be opened or read.
    void LoadFromFile(const std::string& path);
    // Writes Text() to the file (created or replaced). Throws EFileError.
    void SaveToFile(const std::string& path) const;

private:
    std::vector<std::string> lines_;
};
