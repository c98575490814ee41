#include "tools/commands/help_text.h"

namespace tolvarine {

std::string_view MainHelp() {
  return R"(Usage: tolvarine COMMAND [OPTIONS] [ARGUMENTS]

Sorts data larger than memory through the Tolvarine sort component, which it
loads as an in-process COM server (libtolvarine.so; Tolvarine.dll on Windows)
and drives the way a data-flow pipeline host does.

Commands:
  sort [OPTIONS] [INPUT]      sort CSV or fixed-width records
  generate [OPTIONS]          write test data
  register [LIBRARY]          register the component (DllRegisterServer)
  unregister [LIBRARY]        remove its registration (DllUnregisterServer)
  help [COMMAND]              show this text or a command's

Options:
  -h, --help                  show this text
  --version                   show the program's version

"tolvarine COMMAND --help" describes a command. The component is registered
under HKEY_CLASSES_ROOT of
  Linux:    the registry file $TOLVARINE_REGISTRY, else
            $XDG_DATA_HOME/tolvarine/registry.reg, else
            ~/.local/share/tolvarine/registry.reg
  Windows:  the system registry ("tolvarine register" or
            "regsvr32 Tolvarine.dll", as an administrator)
Exit status: 0 success, 1 failure, 2 wrong usage.
)";
}

std::string_view SortHelp() {
  return R"(Usage: tolvarine sort [OPTIONS] [INPUT]

Sorts INPUT (a file; "-" or none: standard input) by one or more key columns
and writes the rows in key order. Rows with equal keys keep no particular
order. Non-key columns are carried along unchanged.

Keys and output:
  -k, --key COLUMN[:asc|:desc][:flags=N]
                          a sort key; repeat for more (the first -k ranks
                          first). COLUMN is a column name or a 1-based column
                          number. :desc sorts descending. flags=N (decimal or
                          0x hex) compares strings: 16 ordinal (by code unit),
                          32 ordinal ignoring ASCII case, any other value
                          locale-aware with those comparison flags (1 ignores
                          case, 2 accents, 4 symbols, ...); default 0.
                          NULL sorts before every value (after, descending).
  -u, --unique            keep only the first row of each run of equal keys
  -o, --output FILE       write to FILE (default standard output). FILE may be
                          INPUT itself. A regular FILE changes only when the
                          sort succeeded: the rows go to a temporary file in
                          its directory (readable by its owner only) that then
                          takes FILE's place with FILE's owner, group and
                          mode (a new file: 0666 less the umask). A FILE with
                          several hard links, whose owner cannot be kept that
                          way, or in a directory that takes no new file (the
                          temporary file then goes to the temporary
                          directory), is
                          rewritten in place from the temporary file instead,
                          so its links and owner stay (a failed copy is
                          reported). A symbolic link is followed and the
                          file it leads to replaced; a device, a FIFO or
                          /dev/stdout is written directly (like standard
                          output, it may get part of the rows of a sort that
                          fails while writing); a socket or directory is
                          refused.

Resources:
  -S, --ram-budget MB     memory for rows: MB megabytes (1 to 4095); 0 (the
                          default) 60 percent of physical memory, at most
                          2 GiB; -P (-1 to -100) P percent of it
  -T, --scratch DIRS      directories for scratch files when rows exceed the
                          budget; repeatable, and ";" separates several
                          (default: the temporary directory: $TMPDIR or /tmp;
                          on Windows %TMP%, %TEMP% or the user's profile)
      --scratch-file-size MB
                          suggested scratch file size (default and least: 200)
      --threads N         sorting threads, 1 to 128 (0, the default: one per
                          processor)

Formats:
      --format csv|fixed  the input and output format (default csv)
  CSV (RFC 4180): fields separated by the delimiter, optionally in double
  quotes, inside which the delimiter, line breaks and doubled quotes ("") are
  data. An empty unquoted field is NULL; "" is the empty string. Lines end in
  LF or CRLF (output: LF). Output quotes only fields that need it.
      --delimiter C       field delimiter (default ","; "tab" or "\t": tab)
      --no-header         the input has no header line; columns are c1, c2, ...
                          (or named by --schema) and the output has no header
      --schema 'NAME:TYPE,...'
                          every column's name and type, in order (a header
                          line must name the same columns). Without it every
                          column is a string of type wstr(255); a longer value
                          is an error that asks for a wider --schema type.
  Fixed: records of one width, fields back to back in the order given, no
  separators. Output records are the input records, byte for byte, reordered.
      --fields 'NAME:TYPE,...'
                          the record layout (required with --format fixed)

Types (TYPE):
  i1 i2 i4 i8             signed integers          (text: -12)
  ui1 ui2 ui4 ui8         unsigned integers        (text: 12)
  r4 r8                   IEEE floats: text is the shortest form that reads
                          back exactly; inf, -inf and nan are accepted (a NaN
                          keeps its sign, not its payload). As keys every NaN
                          equals every other NaN and sorts before every
                          number (after, descending); -0 equals 0
  cy                      currency, 4 decimal places (text: -12.5)
  decimal                 96-bit decimal, up to 28 places, scale kept as
                          written (1.50 stays 1.50)
  numeric(p,s)            p digits (1-38), s of them after the point
  bool                    true or false (also read: 1, 0)
  guid                    {XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}
  bytes(n)                up to n bytes, written as hex (fixed: exactly n)
  str(n)                  up to n characters of Windows-1252 (fixed: n bytes,
                          NUL-padded)
  wstr(n)                 up to n UTF-16 code units (fixed: 2n bytes UTF-16LE,
                          NUL-padded)
  dbdate                  YYYY-MM-DD
  dbtime                  HH:MM:SS
  dbtimestamp             YYYY-MM-DD HH:MM:SS[.fffffffff]
  date                    automation date (days since 1899-12-30 as a double):
                          YYYY-MM-DD HH:MM:SS[.fff...], years 1 to 9999; a
                          time that rounds past 9999-12-31 is refused. Keys
                          compare by the real time, also before 1899-12-30
  filetime                100 ns ticks since 1601: YYYY-MM-DD HH:MM:SS[.fffffff]
  Text in files is UTF-8. In fixed records numbers, dates and GUIDs are the
  little-endian binary values of the pipeline's buffers.

Reporting:
      --progress          show progress on standard error (the default when it
                          is a terminal): rows read, bytes spilled, rows
                          written, rate, elapsed and estimated time
  -q, --quiet             show no progress
      --stats             after the sort, one line with rows in and out, bytes
                          spilled, scratch files, peak memory and time per phase
  -h, --help              show this text

Bad input (a value that does not parse as its type or does not fit its width,
a row with the wrong number of fields, an unknown key column, ...) stops the
sort with a message naming the file and line, and leaves no output file.
Undefined comparison flags are wrong usage (status 2); a row wider than the
component's 1 MiB limit is refused before any row is read.
An interrupt, terminate or hang-up signal ends the sort with status 128 plus
the signal's number, leaving FILE as it was and no temporary or scratch file.
The component is created by its ProgID when it is registered, otherwise from
libtolvarine.so (Tolvarine.dll on Windows) beside this program or, for a
program installed from the Debian package, from ../lib/<multiarch>/tolvarine/
relative to it.

Examples:
  tolvarine sort -k 2:desc -k name:flags=16 data.csv -o sorted.csv
  tolvarine sort --schema 'id:i8,name:wstr(40),amount:decimal' -k amount -u in.csv
  tolvarine sort --format fixed --fields 'key:bytes(10),payload:bytes(90)' -k key \
      -S 512 -T /mnt/fast1 -T /mnt/fast2 records.dat -o records.dat
)";
}

std::string_view GenerateHelp() {
  return R"(Usage: tolvarine generate [OPTIONS]

Writes random test data, the same for the same options and seed.

  --layout csv|gensort    csv (default): a CSV with an integer, a string and a
                          decimal column (id:i8,name:wstr(32),amount:decimal).
                          gensort: 100-byte fixed records of sort benchmarks, a
                          10-byte random printable key and 90 bytes of
                          payload (the record number as 32 hex digits,
                          filler, CR LF);
                          sort them with --format fixed --fields
                          'key:bytes(10),payload:bytes(90)' -k key
  --schema 'NAME:TYPE,...'
                          a CSV of random values of these columns instead
  --fields 'NAME:TYPE,...'
                          fixed records of random values of these fields instead
  --format csv|fixed      the output format (default: that of the layout, or
                          fixed with --fields)
  -n, --rows N            rows to write (default 1000)
  --seed S                seed of the random values (default 1)
  --nulls P               CSV: make P percent of the values NULL (default 0)
  --delimiter C           CSV field delimiter (default ",")
  --no-header             CSV: write no header line
  -o, --output FILE       write to FILE (default standard output)
  -h, --help              show this text

The types are those of "tolvarine sort --help".
)";
}

std::string_view RegisterHelp() {
  return R"(Usage: tolvarine register [LIBRARY]
       tolvarine unregister [LIBRARY]

Calls the library's DllRegisterServer or DllUnregisterServer, which write or
remove the component's class, ProgIDs, type library and category under
HKEY_CLASSES_ROOT of
  Linux:    the registry file $TOLVARINE_REGISTRY, else
            $XDG_DATA_HOME/tolvarine/registry.reg, else
            ~/.local/share/tolvarine/registry.reg (made when missing)
  Windows:  the system registry, as "regsvr32 LIBRARY" (or "regsvr32 /u")
            does; new keys there go to HKEY_LOCAL_MACHINE\Software\Classes,
            which needs an administrator's rights
LIBRARY defaults to the library the sort would load unregistered
(libtolvarine.so, or Tolvarine.dll beside tolvarine.exe). Once registered,
"tolvarine sort" creates the component by its ProgID, Tolvarine.Tolvarine
(on Windows through the COM runtime, so from wherever it was registered).
)";
}

}  // namespace tolvarine
