# Shared by the side-by-side benchmark scripts (sourced): best wall time of $runs runs of a command.
best_of() {
  local best=""
  for _ in $(seq "$runs"); do
    local start end
    start=$(date +%s.%N)
    "$@" >/dev/null
    end=$(date +%s.%N)
    best=$(echo "$start $end ${best:-1e9}" | awk '{t = $2 - $1; print (t < $3 ? t : $3)}')
  done
  echo "$best"
}
