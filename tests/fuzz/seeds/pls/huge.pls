[PLAYLIST]
numberofentries=$7FFFFFFF
File2000000000=x.mp3
File01=y
[other]
File1=z
