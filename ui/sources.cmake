bastion_sources(
  WINDOWS web_instance.cc web_instance_record.cc window_procedure.cc on_button.cc site_objects.cc
          event_sink.cc external_dispatch.cc browser.cc script_bridge.cc page_resource.cc
          progress_window.cc
  PORTABLE html_file_path.cc drag_geometry.cc button_rules.cc)
