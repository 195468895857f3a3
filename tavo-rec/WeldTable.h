// Many welds in one table: a row per file and view, with each shown
// channel's minimum, maximum and mean over the view and the parameter
// block's fields, for a spreadsheet or a trend plot.
#pragma once

#include <string>

#include "settings/Settings.h"
#include "tavo-rec/RecordImage.h"
#include "tavo-rec/RecordViews.h"

struct TableFormat {
    const Settings& Display;  // the shown channels, in display order
    const TriggerParams& Trigger;
    char Separator = ',';
    char Decimal = '.';
};

// File, Date, Trigger, Triggers, Trigger sample, "KI min", "KI max",
// "KI mean", ... and the parameter fields by name.
std::string TableHeader(const TableFormat& format);

// Appends a row for every view TAVO shows of the file (one for a file
// without a trigger, whose view starts at the recording's start).
void AppendTableRows(const std::string& name, const std::string& date, const RecordReport& report,
                     RecordViews& views, const TableFormat& format, std::string& table);
