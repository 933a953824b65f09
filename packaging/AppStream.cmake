# The AppStream data from its template into `${LK_APPSTREAM_DIR}`: for the
# package, and for the test that validates what the package would ship.
set(LK_APPSTREAM_ID org.example.linekeeper.LineKeeper)
string(REGEX REPLACE "^(....)(..)(..)$" "\\1-\\2-\\3" LK_RELEASE_DATE_ISO ${LK_RELEASE_DATE})
configure_file(${PROJECT_SOURCE_DIR}/packaging/linekeeper.metainfo.xml.in
  ${LK_APPSTREAM_DIR}/${LK_APPSTREAM_ID}.metainfo.xml @ONLY)
set(LK_APPSTREAM_FILE ${LK_APPSTREAM_DIR}/${LK_APPSTREAM_ID}.metainfo.xml)
