# The fields of a CSV line into f[1..], quoted ones with their doubled quotes undone; returns their
# count. For the scripts' awk programs: awk -f scripts/csv_fields.awk -f PROGRAM.
function fields(line, f,    n, i, c, quoted, text) {
  n = 1; quoted = 0; text = ""
  for (i = 1; i <= length(line); i++) {
    c = substr(line, i, 1)
    if (quoted && c == "\"" && substr(line, i + 1, 1) == "\"") { text = text c; i++ }
    else if (c == "\"") quoted = !quoted
    else if (c == "," && !quoted) { f[n++] = text; text = "" }
    else text = text c
  }
  f[n] = text
  return n
}
