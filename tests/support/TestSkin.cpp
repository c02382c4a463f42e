#include "TestSkin.h"

#include <QPainter>
#include <algorithm>
#include <filesystem>
#include <fstream>

std::map<std::string, std::string> TestSkin::DefaultIni()
{
    std::map<std::string, std::string> ini{{"DISPLAY_X", "10"},        {"DISPLAY_Y", "5"},
                                           {"TITLE_COLOR", "0,255,0"}, {"TIME_COLOR", "0,0,255"},
                                           {"TOTALTIME_COLOR", "255,0,0"}};
    const char* names[] = {"PLAY", "STOP", "PAUSE", "BACK", "NEXT", "REWIND", "FAST"};
    for (int i = 0; i < 7; ++i) {
        ini[std::string(names[i]) + "_BUTTON_X"] = std::to_string(4 + 16 * i);
        ini[std::string(names[i]) + "_BUTTON_Y"] = "30";
        ini[std::string(names[i]) + "_BUTTON_TRANS"] = std::to_string(i % 2);
    }
    return ini;
}

void TestSkin::Write(const std::string& dir) const
{
    std::filesystem::create_directories(dir);
    auto wanted = [this](const std::string& f) {
        return std::find(skipFiles.begin(), skipFiles.end(), f) == skipFiles.end();
    };
    if (wanted("face.bmp")) {
        QImage img(face, QImage::Format_RGB32);
        img.fill(body);
        for (int y = 0; y < keyCorner; ++y)
            for (int x = 0; x < keyCorner - y; ++x) {
                img.setPixelColor(x, y, key);
                img.setPixelColor(face.width() - 1 - x, y, key);
            }
        if (paint)
            paint(img);
        img.save(QString::fromStdString(dir + "face.bmp"), "BMP");
    }
    const char* glyphs[] = {"bPlay.bmp", "bStop.bmp", "bPause.bmp", "bBack.bmp", "bNext.bmp", "bRewind.bmp", "bFast.bmp"};
    for (const char* g : glyphs) {
        if (!wanted(g))
            continue;
        QImage img(strip, QImage::Format_RGB32);
        img.fill(QColor(200, 200, 200));
        QPainter p(&img);
        const int w = strip.width() / 3;
        p.fillRect(w, 0, w, strip.height(), QColor(120, 120, 120));
        p.fillRect(2 * w, 0, w, strip.height(), QColor(250, 250, 250));
        p.end();
        img.save(QString::fromStdString(dir + g), "BMP");
    }
    if (wanted("skin.ini")) {
        std::ofstream out(dir + "skin.ini", std::ios::binary);
        out << "[skin]\r\n";
        for (const auto& [k, v] : ini)
            out << k << "=" << v << "\r\n";
        for (const auto& line : extraLines)
            out << line << "\r\n";
    }
}
