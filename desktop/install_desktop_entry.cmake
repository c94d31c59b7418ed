# Installs the desktop entry, its Exec naming the installed program by its full path, so that the entry
# starts it whether or not the prefix's bin/ lies on the PATH. Runs at install time, where
# CMAKE_INSTALL_PREFIX is the prefix the install was given. Expects BRIMVALE_DESKTOP_TEMPLATE,
# BRIMVALE_DESKTOP_OUTPUT, BRIMVALE_INSTALL_BINDIR and BRIMVALE_INSTALL_DATADIR.
foreach(dir BINDIR DATADIR)
  if(IS_ABSOLUTE "${BRIMVALE_INSTALL_${dir}}")
    set(${dir} "${BRIMVALE_INSTALL_${dir}}")
  else()
    set(${dir} "${CMAKE_INSTALL_PREFIX}/${BRIMVALE_INSTALL_${dir}}")
  endif()
endforeach()

# The program's path as one quoted argument of Exec: inside the quotes a backslash, double quote, dollar or
# backquote is escaped with a backslash, and every backslash is doubled again for the entry's string type.
set(exec "${BINDIR}/brimvale")
string(REGEX REPLACE "([\\\\\"`$])" "\\\\\\1" exec "${exec}")
string(REPLACE "\\" "\\\\" exec "${exec}")
set(BRIMVALE_DESKTOP_EXEC "\"${exec}\"")

configure_file("${BRIMVALE_DESKTOP_TEMPLATE}" "${BRIMVALE_DESKTOP_OUTPUT}" @ONLY)
file(INSTALL DESTINATION "${DATADIR}/applications" TYPE FILE FILES "${BRIMVALE_DESKTOP_OUTPUT}")
