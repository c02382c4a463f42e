#include "TMainSkin.h"

#include "EFileError.h"
#include "ImageFile.h"
#include "SkinIni.h"
#include "TSpeedButton.h"
#include "TStringList.h"
#include "TWindowShape.h"

#include <QLabel>
#include <QPixmap>
#include <QWidget>
#include <algorithm>
#include <cstdlib>

namespace {
const char* const GlyphNames[7] = {"bPlay.bmp", "bStop.bmp",   "bPause.bmp", "bBack.bmp",
                                   "bNext.bmp", "bRewind.bmp", "bFast.bmp"};
const char* const ButtonKeys[7] = {"PLAY", "STOP", "PAUSE", "BACK", "NEXT", "REWIND", "FAST"};

// Label places come from skin.ini sums; keep them well inside what a widget can be moved to.
int Coord(int32_t base, int offset)
{
    const int64_t v = static_cast<int64_t>(base) + offset;
    return static_cast<int>(std::clamp<int64_t>(v, -1000000, 1000000));
}

// A colour value whose lowest byte is red, middle green, high blue.
void SetFontColor(QLabel* label, uint32_t color)
{
    QPalette pal = label->palette();
    const QColor c(static_cast<int>(color & 0xFF), static_cast<int>((color >> 8) & 0xFF),
                   static_cast<int>((color >> 16) & 0xFF));
    for (auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled})
        pal.setColor(group, QPalette::WindowText, c);
    label->setPalette(pal);
}
}

TMainSkin::TMainSkin(const Parts& parts, const std::string& appDir, TPlayerSettings& settings,
                     std::function<void()> reportFault)
    : parts_(parts), appDir_(appDir), settings_(settings), shape_(new TWindowShape(parts.Window)),
      reportFault_(std::move(reportFault))
{
    shape_->OnScreenChange([this] { ShowFace(); });
    for (TSpeedButton* b : parts_.Buttons)
        plainLayout_.push_back({b, b->geometry(), b->palette()});
    for (QLabel* w : {parts_.Face, parts_.Title, parts_.Time, parts_.TotalTime})
        plainLayout_.push_back({w, w->geometry(), w->palette()});
}

void TMainSkin::Load(bool fromRecord)
{
    const std::string stored = fromRecord ? settings_.SkinPathText() : std::string();
    SkinDir = stored.empty() ? DefaultDir() : stored;
    if (!fromRecord)
        StoreShown();
    // A stored skin that fails now (on a drive not mounted yet, say) is replaced for this run
    // only: the record goes on naming it.
    ApplyFilesOrFallBack();
}

void TMainSkin::StoreShown()
{
    if (!settings_.SetSkinPath(SkinDir))
        settings_.SetSkinPath(std::string());
}

void TMainSkin::ApplyFilesOrFallBack()
{
    try {
        ApplyFiles();
        return;
    } catch (...) {
        reportFault_();
    }
    // A broken skin: the default skin instead.
    const std::string fallback = DefaultDir();
    if (SkinDir != fallback) {
        SkinDir = fallback;
        try {
            ApplyFiles();
            return;
        } catch (...) {
            reportFault_();
        }
    }
    RestorePlainLayout();
}

void TMainSkin::ApplyFiles()
{
    for (size_t i = 0; i < ButtonGlyphFiles.size(); ++i)
        ButtonGlyphFiles[i] = SkinDir + GlyphNames[i];
    const std::string facePath = SkinDir + "face.bmp";
    ReadSkinIni();
    FaceImage = ImageFile::Read(facePath).convertToFormat(QImage::Format_RGB32);
    ShowFace();
    parts_.Face->resize(FaceImage.size());
    parts_.Window->resize(FaceImage.size());
    for (TSpeedButton* b : parts_.Buttons)
        ApplyButtonSkin(b);
    FitTitleToPanel();
    // Last: the outline takes the black of the glyphs and texts as they are now placed.
    BuildWindowRegion();
}

void TMainSkin::ShowFace()
{
    // Under a scale factor the face is enlarged here, pixel by pixel, to the window's device
    // pixels, as the outline is: left to the label, the enlargement would be smoothed and blend
    // the key colour into the pixels along the cut, a fringe of it around the window.
    const qreal ratio = parts_.Window->devicePixelRatioF();
    if (FaceImage.isNull() || ratio == 1.0) {
        parts_.Face->setPixmap(QPixmap::fromImage(FaceImage));
        return;
    }
    const QSize device(qRound(FaceImage.width() * ratio), qRound(FaceImage.height() * ratio));
    QPixmap face = QPixmap::fromImage(FaceImage.scaled(device, Qt::IgnoreAspectRatio, Qt::FastTransformation));
    face.setDevicePixelRatio(ratio);
    parts_.Face->setPixmap(face);
}

int TMainSkin::PanelRight(const QImage& face, const QRect& text)
{
    // Neighbours closer than this in every channel belong to one surface: a panel's gradient
    // changes by a step or two a pixel, its border by far more.
    constexpr int Step = 24;
    const auto near = [](QRgb a, QRgb b) {
        return std::abs(qRed(a) - qRed(b)) <= Step && std::abs(qGreen(a) - qGreen(b)) <= Step &&
               std::abs(qBlue(a) - qBlue(b)) <= Step;
    };
    const int left = std::clamp(text.left(), 0, std::max(0, face.width() - 1));
    std::array<int, 3> rights{};
    for (size_t i = 0; i < rights.size(); ++i) {
        const int y = std::clamp(text.top() + text.height() * static_cast<int>(i + 1) / 4, 0, face.height() - 1);
        int x = left;
        while (x + 1 < face.width() && near(face.pixel(x, y), face.pixel(x + 1, y)))
            ++x;
        rights[i] = x + 1;
    }
    std::sort(rights.begin(), rights.end());
    return rights[1];
}

void TMainSkin::FitTitleToPanel()
{
    QLabel* title = parts_.Title;
    if (FaceImage.isNull()) {
        title->setMaximumWidth(QWIDGETSIZE_MAX);
        return;
    }
    const QRect text(title->pos(), QSize(1, title->fontMetrics().height()));
    // As far from the panel's edge as the title starts from the display's origin.
    constexpr int Inset = 2;
    title->setMaximumWidth(std::max(1, PanelRight(FaceImage, text) - Inset - title->x()));
}

void TMainSkin::ReadSkinIni()
{
    TStringList ini;
    ini.LoadFromFile(SkinDir + "skin.ini");
    const int32_t x = SkinIni::ReadInt(ini, "DISPLAY_X");
    const int32_t y = SkinIni::ReadInt(ini, "DISPLAY_Y");
    parts_.Title->move(Coord(x, 2), Coord(y, 1));
    SetFontColor(parts_.Title, SkinIni::ReadColor(ini, "TITLE_COLOR"));
    parts_.Time->move(Coord(x, 6), Coord(y, 20));
    SetFontColor(parts_.Time, SkinIni::ReadColor(ini, "TIME_COLOR"));
    parts_.TotalTime->move(Coord(x, 78), Coord(y, 25));
    SetFontColor(parts_.TotalTime, SkinIni::ReadColor(ini, "TOTALTIME_COLOR"));
    for (size_t i = 0; i < ButtonLayouts.size(); ++i) {
        const std::string key = ButtonKeys[i];
        ButtonLayouts[i].X = SkinIni::ReadInt(ini, key + "_BUTTON_X");
        ButtonLayouts[i].Y = SkinIni::ReadInt(ini, key + "_BUTTON_Y");
        ButtonLayouts[i].Trans = SkinIni::ReadInt(ini, key + "_BUTTON_TRANS") != 0;
    }
}

void TMainSkin::BuildWindowRegion()
{
    std::vector<QWidget*> changing{parts_.Title, parts_.Time, parts_.TotalTime};
    changing.insert(changing.end(), parts_.Buttons.begin(), parts_.Buttons.end());
    shape_->Build(FaceImage, changing);
}

void TMainSkin::ApplyButtonSkin(TSpeedButton* button)
{
    const int tag = button->Tag();
    if (tag < 0 || tag >= static_cast<int>(ButtonLayouts.size()))
        return;
    button->LoadGlyph(ButtonGlyphFiles[static_cast<size_t>(tag)]);
    const TButtonLayout& layout = ButtonLayouts[static_cast<size_t>(tag)];
    button->move(Coord(layout.X, 0), Coord(layout.Y, 0));
    button->resize(button->Glyph().width() / button->NumGlyphs(), button->Glyph().height());
}

void TMainSkin::RestorePlainLayout()
{
    FaceImage = QImage();
    parts_.Face->clear();
    shape_->Clear();
    parts_.Window->resize(258, 110);
    FitTitleToPanel();
    for (const PlainPlace& place : plainLayout_) {
        place.Widget->setGeometry(place.Geometry);
        place.Widget->setPalette(place.Palette);
    }
    for (TSpeedButton* b : parts_.Buttons)
        b->ClearGlyph();
}
