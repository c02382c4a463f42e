#pragma once
// Throwaway skins for the tests, drawn with QImage: a face, seven glyph strips and skin.ini.
#include <QColor>
#include <QImage>
#include <QSize>
#include <functional>
#include <map>
#include <string>
#include <vector>

struct TestSkin {
    QSize face{120, 50};
    QColor key{255, 0, 255};   // the colour cut away; the face's top-left pixel
    QColor body{60, 70, 90};
    int keyCorner = 3;         // a key-coloured triangle of this size at each top corner
    std::function<void(QImage&)> paint;  // drawn over the face after the above
    QSize strip{48, 16};
    std::map<std::string, std::string> ini = DefaultIni();
    std::vector<std::string> extraLines;  // appended to skin.ini as written
    std::vector<std::string> skipFiles;   // files not written ("face.bmp", "bStop.bmp", "skin.ini")

    static std::map<std::string, std::string> DefaultIni();
    // Writes the skin into dir (created); dir ends in "/".
    void Write(const std::string& dir) const;
};
