# Copies the skin's pictures and colour files (not the script that draws them).
file(GLOB skin_files ${SRC}/*.jpg ${SRC}/*.txt)
file(MAKE_DIRECTORY ${DST})
file(COPY ${skin_files} DESTINATION ${DST})
