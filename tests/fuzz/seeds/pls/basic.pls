[playlist]
NumberOfEntries=3
File1=/a.mp3
file3=\Music\c.mp3
File4=d.mp3
