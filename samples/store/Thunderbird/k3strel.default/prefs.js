user_pref("mail.root.none", "Mail");
