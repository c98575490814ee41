// Sorts one file with DuckDB for the peer comparison: node duckdb_sort.mjs
// MODE INPUT OUTPUT MEMORY_LIMIT THREADS TEMP_DIR, MODE "records" (100-byte
// lines, ordered by their first 10 bytes) or "csv" (ordered by name, amount).
import { DuckDBInstance } from '@duckdb/node-api';

const [mode, input, output, memoryLimit, threads, tempDir] = process.argv.slice(2);
const db = await DuckDBInstance.create(':memory:', {
  memory_limit: memoryLimit,
  threads: String(threads),
  temp_directory: tempDir,
  preserve_insertion_order: 'false',
});
const con = await db.connect();
const q = (s) => s.replaceAll("'", "''");
if (mode === 'records') {
  await con.run(`COPY (SELECT line FROM read_csv('${q(input)}', columns={'line': 'VARCHAR'},
      header=false, delim=chr(1), quote='', escape='', auto_detect=false)
      ORDER BY line[1:10]) TO '${q(output)}' (HEADER false, QUOTE '', DELIMITER chr(1))`);
} else {
  await con.run(`COPY (SELECT * FROM read_csv('${q(input)}', header=true,
      columns={'id': 'BIGINT', 'name': 'VARCHAR', 'amount': 'DECIMAL(38,10)'})
      ORDER BY name, amount) TO '${q(output)}' (HEADER true)`);
}
