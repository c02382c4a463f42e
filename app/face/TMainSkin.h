#pragma once
// TMainSkin: the main window's skin. A skin is a directory holding face.bmp (the window's
// picture; every pixel of its top-left pixel's colour is cut out of the window's shape),
// skin.ini (where the labels and the seven buttons go, and the colours of the three texts) and
// a glyph strip for each button. A skin that cannot be shown is reported and the default skin
// stands in; when that fails too, the window keeps the layout of its definition.
#include "PlayerSettings.h"

#include <QImage>
#include <QPalette>
#include <QRect>
#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

class QLabel;
class QWidget;
class TSpeedButton;
class TWindowShape;

// Where a skin puts one transport button.
struct TButtonLayout {
    int32_t X = 0;
    int32_t Y = 0;
    bool Trans = false;  // from *_BUTTON_TRANS; kept with the layout, nothing depends on it
};

class TMainSkin {
public:
    // What a skin dresses: the window, its face, the three texts and the buttons by tag.
    struct Parts {
        QWidget* Window = nullptr;
        QLabel* Face = nullptr;
        QLabel* Title = nullptr;
        QLabel* Time = nullptr;
        QLabel* TotalTime = nullptr;
        std::array<TSpeedButton*, 7> Buttons{};
    };
    // Takes the parts' places and colours as they are now, the window definition's, for
    // RestorePlainLayout. appDir is the window's program directory (filled at start-up; the
    // default skin lies beneath it) and settings its record, which names the skin shown.
    // reportFault is called inside a catch block for a skin that cannot be shown, and says so.
    TMainSkin(const Parts& parts, const std::string& appDir, TPlayerSettings& settings,
              std::function<void()> reportFault);

    // Start-up: the skin directory the record names (the default skin when it names none), or
    // for a record made anew the default skin, which the record then names. The record is not
    // changed when the skin fails and another stands in.
    void Load(bool fromRecord);
    // The record names SkinDir; when that does not fit (a program directory too long for the
    // record's field) it names none, which stands for the default skin.
    void StoreShown();
    // Shows SkinDir's skin. A broken skin is reported and the default skin shown instead;
    // when that fails too, the plain layout.
    void ApplyFilesOrFallBack();
    // Shows SkinDir's skin; throws (EFileError, ERangeError) at the first file missing or wrong.
    void ApplyFiles();
    // skin.ini: the labels placed and coloured, the button layouts read.
    void ReadSkinIni();
    // The window's shape: the face less its key-coloured pixels and less every pure black pixel
    // of the window as drawn (black is the window's transparent colour).
    void BuildWindowRegion();
    void ApplyButtonSkin(TSpeedButton* button);
    // The face shown at the window's scale, enlarged as the outline is.
    void ShowFace();
    // The title kept inside its panel on the face: a longer title is cut at the panel's edge
    // (and scrolls through it), never drawn over the bezel beyond.
    void FitTitleToPanel();
    // Where the panel under a text ends on the face: from the text's left edge to the right, as
    // far as the face changes only a little from pixel to pixel on the rows the text covers (the
    // middle of three, so that a line across the panel or a speck in it does not decide); at the
    // face's edge at most. Just past the panel's last column.
    static int PanelRight(const QImage& face, const QRect& text);
    // The window as its definition lays it out, without any skin.
    void RestorePlainLayout();

    std::array<TButtonLayout, 7> ButtonLayouts{};
    std::array<std::string, 7> ButtonGlyphFiles;
    std::string SkinDir;  // current skin directory, ending in "/"
    QImage FaceImage;     // the face now shown

private:
    std::string DefaultDir() const { return appDir_ + "skin/default/"; }

    struct PlainPlace {
        QWidget* Widget;
        QRect Geometry;
        QPalette Palette;
    };
    Parts parts_;
    const std::string& appDir_;
    TPlayerSettings& settings_;
    std::vector<PlainPlace> plainLayout_;
    TWindowShape* shape_;  // owned by the window
    std::function<void()> reportFault_;
};
