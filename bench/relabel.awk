# The relabelling done with awk, as a yardstick for the tool: every folder (columns 27-51) that
# names an individual of MarrowfenlatchMap.txt becomes that individual's species (the first entry
# wins), and every line comes out in the tool's form: 74 columns and CR LF. Run with LC_ALL=C so
# that bytes stay bytes.
BEGIN {
    blanks = sprintf("%74s", "")
    while ((getline entry < "MarrowfenlatchMap.txt") > 0) {
        sub(/\r$/, "", entry)
        entry = entry blanks
        individual = substr(entry, 1, 25)
        if (!(individual in species))
            species[individual] = substr(entry, 27, 25)
    }
}
{
    sub(/\r$/, "")
    line = $0 blanks
    folder = substr(line, 27, 25)
    if (folder in species)
        folder = species[folder]
    printf "%s %s %s\r\n", substr(line, 1, 25), folder, substr(line, 53, 22)
}
