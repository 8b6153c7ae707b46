# The bundle's English table: the data source's texts, then the dialog's (a key in both takes
# the later text; the two tables agree on the keys they share).
#   cmake -DFIRST=<file> -DSECOND=<file> -DOUTPUT=<file> -P MergeStrings.cmake
file(READ ${FIRST} first)
file(READ ${SECOND} second)
file(WRITE ${OUTPUT} "${first}\n${second}")
