// Random sequences of preview presses, commands, edits of the block, the
// parameter dialog's Cancel, writes that fail, list replies that are no
// block, silences, restarts of the controller, lost links and closes of
// TAVO against the preview guard, as the worker uses it
// (tests/support/PreviewModel.h), with the invariants checked on what the
// controller holds after every step:
//   - every preview poll the controller carries out finds SEK 0 in its RAM;
//   - no burn stores preview's 0, and ROM never holds it;
//   - no install or burn carries a block nobody read or set;
//   - once preview is off and the guard has nothing left to do on a healthy
//     link, controller and memory hold a SEK of their own again; and at the
//     end of every run, with the faults healed, preview off and the link up,
//     RAM and ROM hold a SEK of their own.
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "tests/support/PreviewModel.h"

namespace {

void Step(preview_model::Model& m, uint8_t op, uint8_t arg) {
    switch (op % 13) {
        case 0: m.Switch(); break;       // P: the window toggles the mode
        case 1: m.ServeSwitch(); break;  // the worker serves "InterActive"
        case 2: {                        // a command key
            static const int commands[] = {CommandInstall, CommandBurn, CommandRestart, CommandFactory,
                                           CommandList,    CommandDebug, CommandWeld};
            m.Press(commands[arg % 7]);
            break;
        }
        case 3: m.Edit(arg % ParameterBlockSize, static_cast<uint8_t>(arg * 37)); break;
        case 4: m.writeFails = true; break;
        case 5: m.listFails = true; break;
        case 6: m.linkUp = false; break;  // the link is lost (the worker ends)
        case 7:                           // a new worker, now and then on another adapter
            if (!m.linkUp) m.LinkComesUp(arg % 4 == 0 ? 1 : 0);
            break;
        case 8: m.Idle(1 + arg % 6); break;
        case 9:  // the controller's ROM is another block of its own
            m.rom = preview_model::Block(arg, static_cast<uint8_t>(1 + arg % 32));
            break;
        case 10:  // the controller restarts, or falls silent, or speaks again
            if (arg % 3 == 0) m.Restart();
            else m.silent = arg % 3 == 1;
            break;
        case 11: arg % 2 ? m.OpenDialog() : m.CancelDialog(); break;
        case 12: m.CloseAndStart(); break;
    }
    if (op % 13 == 8) m.CheckSettled();
}

void Check(const preview_model::Model& m) {
    if (m.faults.empty()) return;
    std::fprintf(stderr, "%s\n", m.faults.front().c_str());
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // TAVO_FUZZ_TRACE=1 prints every step, to follow a finding.
    static const bool trace = std::getenv("TAVO_FUZZ_TRACE") != nullptr;
    preview_model::Model m;
    for (size_t i = 0; i + 1 < size; i += 2) {
        if (trace)
            std::fprintf(stderr, "op %2d arg %3d | device %d link %d mode %d want %d due %d ram SEK %d memory SEK %d frames %s\n",
                         data[i] % 13, data[i + 1], m.device, m.linkUp, m.mode, m.guard.Wanted(), m.guard.EndDue(),
                         m.ram[OffsetSEK], m.block.ReadByte(OffsetSEK), m.frames.c_str());
        Step(m, data[i], data[i + 1]);
        Check(m);
    }
    m.Settle();
    Check(m);
    return 0;
}
