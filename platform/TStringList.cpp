#include "TStringList.h"

#include "EFileError.h"
#include "TMemoryStream.h"

#include <stdexcept>

int TStringList::Add(const std::string& line)
{
    lines_.push_back(line);
    return Count() - 1;
}

void TStringList::Insert(int index, const std::string& line)
{
    if (index < 0 || index > Count())
        throw std::out_of_range("TStringList::Insert");
    lines_.insert(lines_.begin() + index, line);
}

void TStringList::Delete(int index)
{
    if (index < 0 || index >= Count())
        throw std::out_of_range("TStringList::Delete");
    lines_.erase(lines_.begin() + index);
}

void TStringList::Move(int cur, int newIndex)
{
    if (cur == newIndex)
        return;
    std::string line = lines_.at(static_cast<size_t>(cur));
    Delete(cur);
    Insert(newIndex, line);
}

namespace {
bool SameTextAscii(const std::string& a, const char* b, size_t blen)
{
    if (a.size() != blen)
        return false;
    for (size_t i = 0; i < blen; ++i) {
        unsigned char x = static_cast<unsigned char>(a[i]);
        unsigned char y = static_cast<unsigned char>(b[i]);
        if (x >= 'A' && x <= 'Z')
            x = static_cast<unsigned char>(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z')
            y = static_cast<unsigned char>(y - 'A' + 'a');
        if (x != y)
            return false;
    }
    return true;
}
}

int TStringList::IndexOfName(const std::string& name) const
{
    for (int i = 0; i < Count(); ++i) {
        const std::string& line = lines_[static_cast<size_t>(i)];
        size_t eq = line.find('=');
        if (eq == std::string::npos)
            continue;
        if (SameTextAscii(name, line.data(), eq))
            return i;
    }
    return -1;
}

std::string TStringList::Values(const std::string& name) const
{
    int i = IndexOfName(name);
    if (i < 0)
        return std::string();
    const std::string& line = lines_[static_cast<size_t>(i)];
    return line.substr(line.find('=') + 1);
}

std::vector<std::string> TStringList::AllValues(const std::string& name) const
{
    std::vector<std::string> values;
    for (const std::string& line : lines_) {
        const size_t eq = line.find('=');
        if (eq != std::string::npos && SameTextAscii(name, line.data(), eq))
            values.push_back(line.substr(eq + 1));
    }
    return values;
}

void TStringList::SetText(const std::string& text)
{
    lines_.clear();
    size_t start = 0;
    size_t i = 0;
    while (i < text.size()) {
        char c = text[i];
        if (c == '\r' || c == '\n') {
            lines_.push_back(text.substr(start, i - start));
            if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
                ++i;
            start = i + 1;
        }
        ++i;
    }
    if (start < text.size())
        lines_.push_back(text.substr(start));
}

std::string TStringList::Text() const
{
    std::string out;
    for (const auto& l : lines_) {
        out += l;
        out += "\r\n";
    }
    return out;
}

void TStringList::LoadFromFile(const std::string& path)
{
    TMemoryStream s;
    s.LoadFromFile(path);
    SetText(std::string(reinterpret_cast<const char*>(s.Memory()), static_cast<size_t>(s.Size())));
}

void TStringList::SaveToFile(const std::string& path) const
{
    TMemoryStream s;
    std::string t = Text();
    s.Write(t.data(), t.size());
    s.SaveToFile(path);
}
