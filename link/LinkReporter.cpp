#include "link/LinkReporter.h"

#include <atomic>

namespace {

SilentReporter Silent;
std::atomic<LinkReporter*> Current{&Silent};

}  // namespace

LinkReporter& TheLinkReporter() { return *Current.load(); }

void SetLinkReporter(LinkReporter* reporter) { Current = reporter ? reporter : &Silent; }
