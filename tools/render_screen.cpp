// Draws the oscilloscope screen for one frame of the simulated instrument and
// writes it as a PNG: kr40_render_screen OUTPUT.png [WIDTH HEIGHT]

#include <QGuiApplication>
#include <cstdio>
#include <cstdlib>

#include "acquisition/frame.h"
#include "acquisition/scope_tables.h"
#include "display/compose.h"
#include "display/scope_screen.h"
#include "display/screen.h"
#include "simulator/capture.h"
#include "state/compose.h"
#include "state/scope_state.h"

int main(int argc, char** argv)
{
    if (argc != 2 && argc != 4) {
        std::fprintf(stderr, "usage: kr40_render_screen OUTPUT.png [WIDTH HEIGHT]\n");
        return 2;
    }
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    using namespace kr40;

    ScopeState st;
    ScopeSettings& s = st.settings;
    s.Russian = false;
    s.Run_Down = true;
    s.Sel(Group::TimeBase) = TimeBaseIndex("05mS");
    s.A1_Zero = 150;
    s.A2_Zero = 70;
    s.Trig_On = true;
    s.Lev_A1 = 150;
    s.Pre = 2;
    s.Extra_Info = true;
    ComposeAcqConfig(st);

    if (!sim::CaptureFrame(st, *st.live)) {
        std::fprintf(stderr, "the simulated instrument gave no frame\n");
        return 1;
    }
    DisplayState d;
    RecomputeGeometry(d, argc == 4 ? std::atoi(argv[2]) : 731, argc == 4 ? std::atoi(argv[3]) : 499);
    for (int i = 0; i < 30; ++i) NoteServicePacket(d);
    NoteDataFrame(d);
    DrawFrameScreen(d, st, true);
    if (!d.ScreenBitmap.save(argv[1], "PNG")) {
        std::fprintf(stderr, "cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
