// The names of the Tolvarine component's custom properties: the one place
// both the component, which creates and reads them, and the hosts that set
// them take the names from, so that a renamed property cannot leave a reader
// behind.
#pragma once

// On the component.
inline constexpr char16_t kEliminateDuplicatesProperty[] = u"EliminateDuplicates";
inline constexpr char16_t kSortThreadsProperty[] = u"SortThreads";
inline constexpr char16_t kScratchAreasProperty[] = u"ScratchAreas";
inline constexpr char16_t kRamBudgetProperty[] = u"RAMBudget";
inline constexpr char16_t kScratchFileSizeProperty[] = u"ScratchFileSize";

// On a selected input column: its place in the sort key (0: not a key;
// negative: descending) and its comparison flags.
inline constexpr char16_t kNewSortKeyPositionProperty[] = u"NewSortKeyPosition";
inline constexpr char16_t kNewComparisonFlagsProperty[] = u"NewComparisonFlags";

// On an output column: the lineage ID of the input column it mirrors.
inline constexpr char16_t kSortColumnIdProperty[] = u"SortColumnId";
