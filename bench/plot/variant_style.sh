# Sourced by the plotting scripts. variant_style NAME prints gnuplot's line colour and point type of
# a variant, the same in every plot: the registry's sorts from a fixed table (the funnel in blues and
# greens, the peers in black, grey and warm colours), any other name from a table of its own, picked
# by a checksum of the name.
variant_style() {
  local colour shape
  case "$1" in
    cached-stack) colour='#0072b2' shape=7 ;;
    cached-heap) colour='#56b4e9' shape=6 ;;
    uncached-stack) colour='#009e73' shape=5 ;;
    uncached-heap) colour='#7bc043' shape=4 ;;
    std-sort) colour='#000000' shape=9 ;;
    std-stable-sort) colour='#888888' shape=8 ;;
    pdqsort-branchless) colour='#d55e00' shape=13 ;;
    vqsort) colour='#cc79a7' shape=11 ;;
    *)
      local colours=('#e69f00' '#8c564b' '#9467bd' '#d62728' '#17becf' '#bcbd22' '#e377c2' '#1f3a93')
      local shapes=(1 2 3 10 12 14 15 16)
      local sum
      sum=$(printf '%s' "$1" | cksum | cut -d ' ' -f 1)
      colour=${colours[sum % ${#colours[@]}]}
      shape=${shapes[(sum / ${#colours[@]}) % ${#shapes[@]}]}
      ;;
  esac
  printf "linecolor rgb '%s' pointtype %d" "$colour" "$shape"
}
