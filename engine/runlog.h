#pragma once
// The run log file beside the executable: GlobalVars.RunLog written out, and read back at start-up.

// Writes every line of RunLog followed by CR LF to LogFilePath(), replacing the old file in one
// step. Throws EFCreateError ("Cannot create file %s") when it cannot; RunLog keeps its lines.
void WriteRunLog();

// Fills RunLog with the lines of the previous run's log file; leaves it empty when there is none
// or it cannot be read.
void ReadRunLog();
