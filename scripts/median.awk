# The median of the numbers of a space-separated list; "" for an empty one. For the scripts' awk
# programs: awk -f scripts/median.awk -f PROGRAM.
function median(list,    v, n, i, j, x) {
  n = split(list, v, " ")
  if (n == 0) return ""
  for (i = 2; i <= n; i++) {
    x = v[i] + 0
    for (j = i - 1; j >= 1 && v[j] + 0 > x; j--) v[j + 1] = v[j]
    v[j + 1] = x
  }
  return n % 2 ? v[(n + 1) / 2] : (v[n / 2] + v[n / 2 + 1]) / 2
}
