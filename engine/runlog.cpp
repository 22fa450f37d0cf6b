#include "engine/runlog.h"

#include "filelist/savedlist.h"
#include "settings/errors.h"
#include "settings/globals.h"
#include "settings/paths.h"

void WriteRunLog() {
    // Every line, empty ones too, ends with CR LF; the file is replaced whole, never half written.
    WriteLinesFile(LogFilePath(), GlobalVars.RunLog);
}

void ReadRunLog() {
    GlobalVars.RunLog.clear();
    try {
        GlobalVars.RunLog = ReadLinesFile(LogFilePath());
    } catch (const EWavesmithError&) {
        // No log of an earlier run, or one that cannot be read: start with an empty log.
    }
}
