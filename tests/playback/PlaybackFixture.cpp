#include "PlaybackFixture.h"

#include "DisplayText.h"
#include "TPlaylist.h"
#include "Unit1.h"
#include "Unit2.h"

#include <QTimer>
#include <cstdlib>

namespace playback_test {

void PlaybackTest::Start(Device device)
{
    CloseWindows();
    apptest::UseDevice(device);
    OpenWindows();
    StopTimers();
}

void PlaybackTest::StartCapturing(const std::string& captureFile)
{
    CloseWindows();
    apptest::UseDevice(Device::Fast);
    ::setenv("SDL_DISKAUDIOFILE", captureFile.c_str(), 1);
    OpenWindows();
    StopTimers();
}

void PlaybackTest::StopTimers()
{
    for (QTimer* t : {form1->Timer1, form1->Timer2, form1->Timer3, form1->NextPlayTimer})
        t->stop();
}

void PlaybackTest::Add(const std::vector<std::string>& paths)
{
    for (const std::string& p : paths)
        form2->AddPlaylistEntry(p);
}

std::vector<std::string> PlaybackTest::Paths() const
{
    return form2->Playlist->Paths();
}

std::string PlaybackTest::Caption() const
{
    std::string c = DisplayText::LabelCaption(form1->LTitle);
    while (!c.empty() && c.back() == ' ')
        c.pop_back();
    return c;
}

}
