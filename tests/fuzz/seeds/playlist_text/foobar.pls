[playlist]
File1=C:\music\a.mp3
Title1=A
Length1=100
File2=b.ogg
NumberOfEntries=2
Version=2
