// Random sequences of preview presses, commands, edits of the block, writes
// that fail, list replies that are no block and lost links against the
// preview guard, as the worker uses it (tests/support/PreviewModel.h), with
// the invariants checked after every step:
//   - no preview poll unless the last parameter frame of the link was an
//     install of SEK 0 written whole, with no restart, factory setting or
//     burn after it (and the controller's RAM then holds SEK 0);
//   - no burn carries preview's 0, and ROM never holds it;
//   - no install or burn carries a block nobody read or set;
//   - once preview is off and the guard has nothing left to do on a link that
//     is up, controller and memory hold a SEK of their own again.
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "tests/support/PreviewModel.h"

namespace {

struct World {
    preview_model::Model model;
    bool previewOn = false;      // PreviewActive, as the window keeps it
    bool switchPending = false;  // "InterActive" set, not yet served

    void Step(uint8_t op, uint8_t arg) {
        preview_model::Model& m = model;
        switch (op % 10) {
            case 0:  // P: the window toggles the mode; the worker serves it later
                previewOn = !previewOn;
                switchPending = m.linkUp;
                break;
            case 1:  // the worker serves "InterActive"
                if (switchPending) m.guard.Want(previewOn);
                switchPending = false;
                break;
            case 2: {  // a command key
                static const int commands[] = {CommandInstall, CommandBurn, CommandRestart, CommandFactory,
                                               CommandList,    CommandDebug, CommandWeld};
                m.Press(commands[arg % 7]);
                break;
            }
            case 3: m.Edit(arg % ParameterBlockSize, static_cast<uint8_t>(arg * 37)); break;
            case 4: m.writeFails = true; break;
            case 5: m.listFails = true; break;
            case 6:  // the link is lost (the worker ends)
                m.linkUp = false;
                switchPending = false;
                break;
            case 7:  // a new worker, now and then on another adapter
                if (!m.linkUp) m.LinkComesUp(previewOn, arg % 4 == 0 ? 1 : 0);
                break;
            case 8: m.Idle(1 + arg % 6); break;
            case 9:  // the controller's ROM is another block of its own
                m.rom = preview_model::Block(arg, static_cast<uint8_t>(1 + arg % 32));
                break;
        }
        if (op % 10 == 8) m.CheckSettled();
        if (!m.faults.empty()) {
            std::fprintf(stderr, "%s\n", m.faults.front().c_str());
            std::abort();
        }
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // TAVO_FUZZ_TRACE=1 prints every step, to follow a finding.
    static const bool trace = std::getenv("TAVO_FUZZ_TRACE") != nullptr;
    World world;
    for (size_t i = 0; i + 1 < size; i += 2) {
        if (trace)
            std::fprintf(stderr, "op %d arg %3d | device %d link %d want %d running %d ram SEK %d memory SEK %d frames %s\n",
                         data[i] % 10, data[i + 1], world.model.device, world.model.linkUp, world.model.guard.Wanted(),
                         world.model.guard.Running(), world.model.ram[OffsetSEK],
                         world.model.block.ReadByte(OffsetSEK), world.model.frames.c_str());
        world.Step(data[i], data[i + 1]);
    }
    return 0;
}
