EXIT="OK"
NAMES=$'a.txt|x\\|y\\t\"z\\\\\nb.txt|b.txt'
