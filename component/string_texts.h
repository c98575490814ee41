// The component's user-visible texts by identifier: names and descriptions
// of the input, the output, the component and its custom properties, shown
// to the designer's user. The one list from which both the string table
// compiled into the library (string_table.cc) and the Windows build's
// string-table resource (server/tolvarine.rc) are made, so the resource
// compiler reads this file too: preprocessor definitions only, ASCII text.
//
// X(name, identifier, text) for each string.
#pragma once

#define TOLVARINE_COMPONENT_STRINGS(X)                                                       \
  X(IDS_PROJNAME, 100, "Tolvarine")                                                          \
  X(IDS_INPUT_NAME, 101, "Tolvarine Input")                                                  \
  X(IDS_OUTPUT_NAME, 102, "Tolvarine Output")                                                \
  X(IDS_INPUT_DESCRIPTION, 103, "Receives the rows to be sorted")                            \
  X(IDS_OUTPUT_DESCRIPTION, 104, "Outputs the sorted rows")                                  \
  X(IDS_COMPONENT_DESCRIPTION, 105, "Tolvarine Transformation")                              \
  X(IDS_ELIMINATE_DUPLICATES, 106,                                                           \
    "Specifies whether rows with duplicate keys are to be discarded.")                       \
  X(IDS_NEW_COMPARISON_FLAGS, 107,                                                           \
    "Specifies the comparison flags that will be set on the columns of the sorted rows.")    \
  X(IDS_NEW_SORT_KEY_POSITION, 108,                                                          \
    "Specifies the sort key position that will be set on the columns of the sorted rows.")   \
  X(IDS_SORT_COLUMN_ID, 109,                                                                 \
    "Specifies lineage ID of the input column originating data for this column.")            \
  X(IDS_SCRATCH_AREAS, 110, "Specifies paths to auxilliary storage areas.")                  \
  X(IDS_SORT_THREADS, 111, "Specifies the number of concurrent sorting threads to use.")     \
  X(IDS_RAM_BUDGET, 112, "Specifies the committed RAM budget in megabytes.")                 \
  X(IDS_SCRATCH_FILE_SIZE, 113,                                                              \
    "Suggested size for individual scratch files. This is a guideline, the actual size can " \
    "be smaller or larger.")
