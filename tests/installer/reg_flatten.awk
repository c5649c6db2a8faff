# Flattens a Wine registry file (system.reg, user.reg) into one sortable line per value:
#   [key\\path] "name"=value        (@ for the default value)
# A key without values prints as "[key\\path]" alone, so a key created or left behind
# with nothing in it shows up in a comparison too. The modification times that Wine
# writes beside every key and the #time lines are dropped; values continued over
# several lines are joined.
# Key paths are lowered: the registry compares them without regard to case, and Wine
# and the installer may spell a key that exists in different cases (Typelib, TypeLib).
# Pass -v prefix=HKLM to start every key with the hive it came from.
/^WINE REGISTRY/ || /^;;/ || /^#/ { next }
/^\[/ {
  if (pending) print "[" prefix key "]"
  k = $0
  sub(/\][^]]*$/, "", k)
  sub(/^\[/, "", k)
  key = tolower(k)
  pending = 1
  cont = ""
  next
}
{
  line = cont $0
  if (line ~ /\\$/) { sub(/\\$/, "", line); cont = line; next }
  cont = ""
  gsub(/^ +/, "", line)
  if (line == "") next
  print "[" prefix key "] " line
  pending = 0
}
END { if (pending) print "[" prefix key "]" }
