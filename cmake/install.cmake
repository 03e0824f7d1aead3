# What `cmake --install` puts where, and the documents it is made from.
#
#   POSIX:   bin/<program>, share/man/man1/<program>.1.gz (rendered from
#            docs/<program>.md by pandoc with cmake/manpage.lua),
#            share/doc/console-suite/ (README, the pages of docs/, copyright,
#            changelog)
#   Windows: <program>.exe, README.txt and docs/*.txt at the top of the
#            folder (the Markdown with CRLF line ends, for Notepad)
#
# Release builds are stripped at install: the programs carry no debug
# sections into a package.

if(WIN32)
  set(SUITE_INSTALL_BINDIR .)
  set(SUITE_INSTALL_DOCDIR docs)
else()
  include(GNUInstallDirs)
  set(SUITE_INSTALL_BINDIR ${CMAKE_INSTALL_BINDIR})
  set(SUITE_INSTALL_DOCDIR ${CMAKE_INSTALL_DATAROOTDIR}/doc/${SUITE_PACKAGE})
  set(SUITE_INSTALL_MANDIR ${CMAKE_INSTALL_MANDIR}/man1)
endif()

file(GLOB SUITE_DOC_PAGES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/docs/*.md)

if(WIN32)
  # Text with CRLF line ends, written at configure time (and again when a
  # page changes).
  function(suite_crlf_text source destination)
    file(READ ${source} text)
    string(REPLACE "\r\n" "\n" text "${text}")
    string(REPLACE "\n" "\r\n" text "${text}")
    file(WRITE ${destination} "${text}")
    set_property(DIRECTORY ${CMAKE_SOURCE_DIR} APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${source})
  endfunction()
  set(text_dir ${CMAKE_BINARY_DIR}/doc-text)
  suite_crlf_text(${CMAKE_SOURCE_DIR}/README.md ${text_dir}/README.txt)
  install(FILES ${text_dir}/README.txt DESTINATION .)
  foreach(page ${SUITE_DOC_PAGES})
    get_filename_component(name ${page} NAME_WE)
    suite_crlf_text(${page} ${text_dir}/docs/${name}.txt)
    install(FILES ${text_dir}/docs/${name}.txt DESTINATION ${SUITE_INSTALL_DOCDIR})
  endforeach()
  add_custom_target(install_documents)  # the texts are written already
  return()
endif()

install(FILES ${CMAKE_SOURCE_DIR}/README.md ${SUITE_DOC_PAGES} ${CMAKE_SOURCE_DIR}/cmake/debian/copyright
  DESTINATION ${SUITE_INSTALL_DOCDIR})

# Compressed as Debian keeps them: gzip -9 without name and time stamp.
set(compressed ${CMAKE_BINARY_DIR}/doc-gz)
add_custom_command(OUTPUT ${compressed}/changelog.gz
  COMMAND ${CMAKE_COMMAND} -E make_directory ${compressed}
  COMMAND ${CMAKE_COMMAND} -E copy ${CMAKE_SOURCE_DIR}/cmake/debian/changelog ${compressed}/changelog
  COMMAND gzip -9nf ${compressed}/changelog
  DEPENDS ${CMAKE_SOURCE_DIR}/cmake/debian/changelog
  VERBATIM)
set(generated ${compressed}/changelog.gz)
install(FILES ${compressed}/changelog.gz DESTINATION ${SUITE_INSTALL_DOCDIR})

find_program(SUITE_PANDOC pandoc)
if(SUITE_PANDOC)
  set(man_dir ${CMAKE_BINARY_DIR}/man)
  foreach(program ${SUITE_PROGRAMS})
    set(page ${man_dir}/${program}.1)
    add_custom_command(OUTPUT ${page} ${page}.gz
      COMMAND ${CMAKE_COMMAND} -E make_directory ${man_dir}
      COMMAND ${SUITE_PANDOC} --standalone --from markdown --to man
              --lua-filter ${CMAKE_SOURCE_DIR}/cmake/manpage.lua
              --metadata posix=${CMAKE_SOURCE_DIR}/docs/posix.md
              --metadata "footer=${SUITE_PACKAGE} ${PROJECT_VERSION}"
              --output ${page} ${CMAKE_SOURCE_DIR}/docs/${program}.md
      COMMAND gzip -9nkf ${page}
      DEPENDS ${CMAKE_SOURCE_DIR}/docs/${program}.md ${CMAKE_SOURCE_DIR}/docs/posix.md
              ${CMAKE_SOURCE_DIR}/cmake/manpage.lua
      COMMENT "Manual page ${program}.1"
      VERBATIM)
    list(APPEND generated ${page} ${page}.gz)
    install(FILES ${page}.gz DESTINATION ${SUITE_INSTALL_MANDIR})
  endforeach()
else()
  message(WARNING "pandoc not found: no manual pages are built or installed (apt-get install pandoc)")
endif()
add_custom_target(install_documents ALL DEPENDS ${generated})
